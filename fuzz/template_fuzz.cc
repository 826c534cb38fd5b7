// Feeds arbitrary bytes to the template loader and parser as the template file, then to the
// XML document as a fragment, walking every node. Aborts when the parser leaves the run state
// in a shape its readers do not expect.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/text.h"
#include "platform/fake/fake_platform.h"
#include "platform/xml_document.h"
#include "template/template_parser.h"

namespace {

using namespace sccevtmon;

std::string templatePath;

void removeTemplateFile() { unlink(templatePath.c_str()); }

void check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "template_fuzz: %s\n", what);
    std::abort();
  }
}

// What the run driver and the extraction rely on after a parse.
void checkRunState(const RunState& rs) {
  check(rs.failureReason == rs.templateFailure, "failureReason and templateFailure differ");
  check(rs.hasEntries == !rs.monitorEntries.empty(), "hasEntries does not match the entries");
  const auto& names = rs.eventLogNames;
  for (std::size_t i = 0; i < names.size(); ++i) {
    bool last = i + 1 == names.size();
    check(!trimSpaces(names[i]).empty() || (last && names[i].empty()),
          "a blank log name that is not the one empty last item");
    for (std::size_t k = 0; k < i; ++k) {
      check(names[i].empty() || trimSpaces(names[k]) != trimSpaces(names[i]),
            "a log name recorded twice");
    }
  }
}

// Touches every node, name, attribute and text below node without recursion limits.
std::size_t walk(const XmlNode& top) {
  std::size_t total = 0;
  std::string value;
  for (XmlNode node = top.firstChild(); node; node = node.nextSibling()) {
    total += node.name().size() + node.text().size();
    if (node.attribute("id", &value)) total += value.size();
    if (node.kind() == XmlNodeKind::kElement && node.firstChild()) total += walk(node);
  }
  return total;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Memory-backed when the machine has it: rewriting a file on disk for every input is slow.
  std::string name = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  name += "/template_fuzz_XXXXXX";
  int fd = mkstemp(name.data());
  if (fd < 0) std::abort();
  close(fd);
  templatePath = name;
  std::atexit(removeTemplateFile);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::FILE* file = std::fopen(templatePath.c_str(), "wb");
  if (file == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  std::fclose(file);

  FakePlatform fake;
  RunState rs;
  fake.files.addFolder("/log");
  std::unique_ptr<TextStream> stream;
  if (fake.files.createTextFile("/log/activity.txt", true, &stream).ok()) {
    rs.activityLog.open(std::move(stream), fake.clock);
  }
  fncParseWebpostData(rs, fake.platform, templatePath);
  checkRunState(rs);

  XmlDocument fragment;
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  if (fragment.loadBytes(bytes, XmlLoadOptions{true}).ok()) {
    volatile std::size_t total = walk(fragment.document());
    (void)total;
    (void)fragment.firstElement("dcm").text();
  }
  return 0;
}
