#include "run/report_files.h"

#include "base/text.h"
#include "base/time_stamp.h"

namespace sccevtmon {
namespace {

// Writes each element as one line of the file and appends it to the text copy.
Status writeElements(TextStream& stream, std::string& copy,
                     std::initializer_list<std::string> elements) {
  for (const std::string& e : elements) {
    if (Status s = stream.writeLine(e); !s.ok()) return s;
    appendToCopy(copy, e);
  }
  return Status::success();
}

// The file is written aside and put in place only when it is whole (see subMoveFiles).
Status createFile(Platform& os, const std::string& path, std::string* asidePath,
                  std::unique_ptr<TextStream>* stream) {
  return os.files.createFileAside(path, asidePath, stream);
}

}  // namespace

Status createReportFiles(RunState& rs, Platform& os) {
  const std::string regId = escapeXmlText(rs.regId);
  rs.summaryFileName = "wpevntsummdsk_N_" + rs.regId + "_" + fileStamp(os.clock.now()) + ".xml";
  subWriteLog(rs, "MSG : Creating Summary File " + rs.installPath + rs.summaryFileName);
  if (Status s = createFile(os, rs.installPath + rs.summaryFileName, &rs.summaryAsidePath,
                            &rs.summaryStream);
      !s.ok()) {
    return s;
  }
  if (Status s = writeElements(
          *rs.summaryStream, rs.summaryXml,
          {"<wpevntsummdsk>", xmlElement("regid", regId), xmlElement("mntime", rs.monitorTime),
           xmlElement("ftime", rs.fromTime), xmlElement("totime", rs.toTime)});
      !s.ok()) {
    return s;
  }

  rs.detailFileName = "wpevntdumpdsk_Y_" + rs.regId + "_" + fileStamp(os.clock.now()) + ".xml";
  subWriteLog(rs, "MSG : Creating Detailed File " + rs.installPath + rs.detailFileName);
  if (Status s =
          createFile(os, rs.installPath + rs.detailFileName, &rs.detailAsidePath, &rs.detailStream);
      !s.ok()) {
    return s;
  }
  return writeElements(*rs.detailStream, rs.detailXml,
                       {xmlElement("agtregid", regId), xmlElement("mntime", rs.monitorTime),
                        xmlElement("ftime", rs.fromTime), xmlElement("totime", rs.toTime)});
}

Status writeTemplateHeaders(RunState& rs) {
  std::string tid = xmlElement("tid", numberText(numericValue(rs.templateId)));
  std::string tver = xmlElement("tver", numberText(numericValue(rs.templateVersion)));
  std::string exever = xmlElement("exever", escapeXmlText(rs.exeVersion));
  if (Status s = writeElements(*rs.detailStream, rs.detailXml, {tid, tver, exever}); !s.ok()) {
    return s;
  }
  return writeElements(*rs.summaryStream, rs.summaryXml, {tid, tver, exever});
}

Status closeReportFiles(RunState& rs) {
  if (Status s = rs.summaryStream->writeLine("</wpevntsummdsk>"); !s.ok()) return s;
  if (Status s = rs.summaryStream->close(); !s.ok()) return s;
  appendToCopy(rs.summaryXml, "</wpevntsummdsk>");
  return rs.detailStream->close();
}

}  // namespace sccevtmon
