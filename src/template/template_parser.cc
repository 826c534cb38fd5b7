#include "template/template_parser.h"

#include <exception>
#include <new>
#include <unordered_set>

#include "base/text.h"
#include "util/xml_document.h"

namespace sccevtmon {
namespace {

// The child elements of a dcm element that fill an entry, with their labels in the entry line.
struct EntryField {
  const char* name;
  std::string MonitorEntry::*member;
  const char* label;
};

constexpr EntryField kEntryFields[] = {
    {"evntlgsourcestr", &MonitorEntry::evntlgsourcestr, "EvntLgSourceStr:"},
    {"evnttype", &MonitorEntry::evnttype, "EvntType:"},
    {"evntsource", &MonitorEntry::evntsource, "EvntSrc:"},
    {"evntid", &MonitorEntry::evntid, "EvntID:"},
    {"evntdesc", &MonitorEntry::evntdesc, "EvntDesc:"},
    {"evntsourandid", &MonitorEntry::evntsourandid, "SourceNID:"},
    {"outputopt", &MonitorEntry::outputopt, "OutputOpt:"},
    {"evntdescstrt", &MonitorEntry::evntdescstrt, "EvntDescStrt:"},
    {"evntdescandor", &MonitorEntry::evntdescandor, "EvntDescAndOr:"},
};

// Reads a required attribute; a missing one is a failure of the parse, described in *failure.
bool requireAttribute(const XmlNode& element, const char* elementName, const char* name,
                      std::string* value, std::string* failure) {
  if (element.attribute(name, value)) return true;
  *failure = std::string("the ") + elementName + " element has no " + name + " attribute";
  return false;
}

// Adds a log name to eventLogNames unless an equal one (both trimmed, exact case) is there;
// recorded holds the trimmed names recorded so far, so the check costs the same however many
// there are. The list is grown before the check, so a repeated name leaves one empty item at
// its end, which the next new name fills.
void recordLogName(RunState& rs, std::unordered_set<std::string>& recordedNames,
                   const std::string& name) {
  std::string wanted = trimSpaces(name);
  if (wanted.empty()) return;
  // Recorded names are never blank: an empty last item is the one left by a repeated name.
  std::size_t recorded = rs.eventLogNames.size();
  if (recorded > 0 && rs.eventLogNames.back().empty()) --recorded;
  rs.eventLogNames.resize(recorded + 1);
  if (!recordedNames.insert(std::move(wanted)).second) return;
  rs.eventLogNames[recorded] = name;
}

// A template child: its id and version, then its log line.
bool readTemplateChild(RunState& rs, const XmlNode& element, std::string* failure) {
  if (!requireAttribute(element, "template", "id", &rs.templateId, failure) ||
      !requireAttribute(element, "template", "version", &rs.templateVersion, failure)) {
    return false;
  }
  subWriteLog(rs, "MSG : ***** Template ID [" + rs.templateId + "], Template Version [" +
                      rs.templateVersion + "]***********");
  return true;
}

// A dcm child: one monitoring entry, appended before its attributes are read so that an entry
// that fails half-way stays with what it had received.
bool readEntry(RunState& rs, std::unordered_set<std::string>& recordedNames, const XmlNode& dcm,
               std::string* failure) {
  rs.hasEntries = true;
  std::string entryLine;
  const std::size_t n = rs.monitorEntries.size();
  rs.monitorEntries.emplace_back();
  MonitorEntry& entry = rs.monitorEntries.back();
  if (!requireAttribute(dcm, "dcm", "scriptid", &entry.scriptid, failure) ||
      !requireAttribute(dcm, "dcm", "scriptver", &entry.scriptver, failure)) {
    return false;
  }
  subWriteLog(rs, "MSG:-----Counter [" + decimal(static_cast<long long>(n) + 1) + "] --> " +
                      "ScriptID=" + entry.scriptid + " :: ScriptVer=" + entry.scriptver +
                      " --------------------\"");
  for (const XmlNode& child : dcm.children()) {
    if (child.kind() != XmlNodeKind::kElement) continue;
    const std::string name = toLowerAnsi(trimSpaces(child.name()));
    for (const EntryField& field : kEntryFields) {
      if (name != field.name) continue;
      std::string& value = entry.*field.member;
      value = trimSpaces(child.text());
      entryLine += field.label + value + "<<>>";
      if (field.member == &MonitorEntry::evntlgsourcestr) recordLogName(rs, recordedNames, value);
      break;
    }
  }
  subWriteLog(rs, entryLine);
  return true;
}

// The direct children of the template element, in document order.
bool readTemplateElement(RunState& rs, const XmlNode& templateElement, std::string* failure) {
  std::unordered_set<std::string> recordedNames;
  for (const XmlNode& child : templateElement.children()) {
    if (child.kind() != XmlNodeKind::kElement) continue;
    const std::string name = child.name();
    if (name == "template") {
      if (!readTemplateChild(rs, child, failure)) return false;
    } else if (name == "dcm") {
      if (!readEntry(rs, recordedNames, child, failure)) return false;
    }
  }
  return true;
}

void setTemplateFailure(RunState& rs, const std::string& reason) {
  rs.failureReason = reason;
  rs.templateFailure = reason;
}

}  // namespace

void fncParseWebpostData(RunState& rs, Platform& os, const std::string& path) {
  subWriteLog(rs, "MSg : in fncParseWebpostData");
  std::string failure;
  try {
    XmlDocument document;
    std::string bytes;
    rs.templateBytes.reset();
    bool read = os.files.readFile(path, &bytes, kMaxSettingsFileBytes).ok();
    if (read) rs.templateBytes = bytes;
    if (!read || !document.loadBytes(bytes).ok()) {
      subWriteLog(rs, "ERR : Failed to load xml file, " + path);
      setTemplateFailure(rs, "Failed to load the xml file");
      return;
    }
    XmlNode templateElement = document.firstElement("dcmevntlgtemplat");
    if (!templateElement || readTemplateElement(rs, templateElement, &failure)) {
      subWriteLog(rs, "MSG : " + std::string(72, '-') + " ");
      return;
    }
  } catch (const std::bad_alloc&) {
    failure = runtimeErrorText(kErrOutOfMemory);
  } catch (const std::exception& e) {
    failure = e.what();
  }
  subWriteLog(rs, "ERR : fncParseWebpostData, " + failure);
  setTemplateFailure(rs, "Failed to parse the XML, " + failure);
}

}  // namespace sccevtmon
