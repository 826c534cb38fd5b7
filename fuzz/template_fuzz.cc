// Feeds arbitrary bytes to the template loader and parser as the template file, then to the
// XML document as a fragment, walking every node. Aborts when the parser leaves the run state
// in a shape its readers do not expect.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/text.h"
#include "template/template_parser.h"
#include "testing/fake_platform.h"
#include "util/xml_document.h"

namespace {

using namespace sccevtmon;

const char* const kTemplatePath = "C:\\Agent\\qSCC\\MonitorTemplate\\SCCEventLogTemplate.xml";

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

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  FakePlatform fake;
  RunState rs;
  fake.files.addFolder("/log");
  fake.files.addFile(kTemplatePath, std::string(bytes));
  std::unique_ptr<TextStream> stream;
  if (fake.files.createTextFile("/log/activity.txt", true, &stream).ok()) {
    rs.activityLog.open(std::move(stream), fake.clock);
  }
  fncParseWebpostData(rs, fake.platform, kTemplatePath);
  checkRunState(rs);

  XmlDocument fragment;
  if (fragment.loadBytes(bytes, XmlLoadOptions{true}).ok()) {
    volatile std::size_t total = walk(fragment.document());
    (void)total;
    (void)fragment.firstElement("dcm").text();
  }
  return 0;
}
