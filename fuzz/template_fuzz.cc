// Feeds arbitrary bytes to the template loader and parser as the template file, then to the
// XML document as a fragment, walking every node. Aborts when the parser leaves the run state
// in a shape its readers do not expect.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

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

// Touches every node, name, attribute and text below top, walking without recursion so that
// any depth the input chooses is walked.
std::size_t walk(const XmlNode& top) {
  std::size_t total = 0;
  std::string value;
  std::vector<XmlNode> next;  // the next sibling of each node entered, innermost last
  XmlNode node = top.firstChild();
  while (node || !next.empty()) {
    if (!node) {
      node = next.back();
      next.pop_back();
      continue;
    }
    total += node.name().size() + node.text().size();
    if (node.attribute("id", &value)) total += value.size();
    if (node.kind() == XmlNodeKind::kElement && node.firstChild()) {
      next.push_back(node.nextSibling());
      node = node.firstChild();
    } else {
      node = node.nextSibling();
    }
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
