#include "template/template_parser.h"

namespace sccevtmon {

void fncParseWebpostData(RunState& rs, Platform&, const std::string& path) {
  // TODO(template parser): load the document and read its entries. Until then no template can
  // be read, which is reported as a load failure rather than as an empty template.
  subWriteLog(rs, "MSg : in fncParseWebpostData");
  subWriteLog(rs, "ERR : Failed to load xml file, " + path);
  rs.failureReason = "Failed to load the xml file";
  rs.templateFailure = rs.failureReason;
}

}  // namespace sccevtmon
