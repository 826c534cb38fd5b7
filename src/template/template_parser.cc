#include "template/template_parser.h"

#include <algorithm>
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
// Known in an entry and left alone: templates carry it beside evntlgsourcestr.
constexpr char kIgnoredEntryElement[] = "evntlgsource";

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

bool isDigits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// An optional sign, digits and an optional decimal part, blanks around it allowed: what the
// reports carry as written rather than as a number read from the front.
bool isNumberText(const std::string& text) {
  std::string t = trimSpaces(text);
  if (!t.empty() && (t[0] == '+' || t[0] == '-')) t.erase(0, 1);
  std::size_t point = t.find('.');
  if (point == std::string::npos) return isDigits(t);
  std::string_view whole(t.data(), point), part(t.data() + point + 1, t.size() - point - 1);
  return (isDigits(whole) || whole.empty()) && (isDigits(part) || part.empty()) &&
         !(whole.empty() && part.empty());
}

// The known element a misspelled name most likely meant, or nothing.
std::string nearestEntryElement(const std::string& name) {
  std::string best;
  std::size_t bestDistance = 4;
  auto consider = [&](const std::string& known) {
    std::size_t d = editDistance(name, known);
    if (d < bestDistance) bestDistance = d, best = known;
  };
  for (const EntryField& field : kEntryFields) consider(field.name);
  consider(kIgnoredEntryElement);
  return best;
}

// What the parse gathers besides the run state: the log names recorded so far (see
// recordLogName) and the notes of the entry being read.
struct Parse {
  RunState& rs;
  std::unordered_set<std::string> recordedNames;

  void note(std::size_t entry, const XmlNode& at, bool warning, std::string what,
            std::string runDoes, std::string advice = {}) {
    const std::size_t offset =
        at && at.offset() >= 0 ? static_cast<std::size_t>(at.offset()) : TemplateNote::kNoOffset;
    rs.templateNotes.push_back(
        {entry, offset, warning, std::move(what), std::move(runDoes), std::move(advice)});
  }
};

// Reads a required attribute; a missing one is a failure of the parse, described in *failure
// and noted for the operator.
bool requireAttribute(Parse& p, std::size_t entry, const XmlNode& element, const char* elementName,
                      const char* name, std::string* value, std::string* failure) {
  if (element.attribute(name, value)) return true;
  *failure = std::string("the ") + elementName + " element has no " + name + " attribute";
  p.note(entry, element, false, std::string("<") + elementName + "> has no " + name + " attribute",
         "a run stops reading the template there and reports \"Failed to parse the XML, ...\"",
         std::string("add ") + name + "=\"...\"");
  return false;
}

// An attribute the reports carry as a number: text that is not one is carried as what it
// reads as.
void noteNumber(Parse& p, std::size_t entry, const XmlNode& element, const std::string& name,
                const std::string& value, const std::string& carriers) {
  if (isNumberText(value)) return;
  p.note(entry, element, true, name + " " + quoted(value) + " is not a number",
         carriers + " carry " + numberText(numericValue(value)));
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
bool readTemplateChild(Parse& p, const XmlNode& element, std::string* failure) {
  RunState& rs = p.rs;
  if (!requireAttribute(p, 0, element, "template", "id", &rs.templateId, failure) ||
      !requireAttribute(p, 0, element, "template", "version", &rs.templateVersion, failure)) {
    return false;
  }
  noteNumber(p, 0, element, "template id", rs.templateId, "the reports");
  noteNumber(p, 0, element, "template version", rs.templateVersion, "the reports");
  subWriteLog(rs, "MSG : ***** Template ID [" + rs.templateId + "], Template Version [" +
                      rs.templateVersion + "]***********");
  return true;
}

// A child element of an entry that is none of its fields.
void noteUnknownEntryElement(Parse& p, std::size_t entry, const XmlNode& child,
                             const std::string& name) {
  const std::string nearest = nearestEntryElement(name);
  // A near miss of a filter's name means the entry reports more than it was meant to.
  const bool filter = nearest.rfind("evnt", 0) == 0 && nearest != "evntlgsourcestr" &&
                      nearest != kIgnoredEntryElement;
  p.note(entry, child, false, "unknown element <" + child.name() + ">",
         std::string("a run ignores it") + (filter ? ", so it does not narrow the entry" : ""),
         nearest.empty() ? "remove it" : "did you mean <" + nearest + ">?");
}

// A dcm child: one monitoring entry, appended before its attributes are read so that an entry
// that fails half-way stays with what it had received.
bool readEntry(Parse& p, const XmlNode& dcm, std::string* failure) {
  RunState& rs = p.rs;
  rs.hasEntries = true;
  std::string entryLine;
  const std::size_t n = rs.monitorEntries.size();
  rs.monitorEntries.emplace_back();
  MonitorEntry& entry = rs.monitorEntries.back();
  entry.offset = static_cast<std::size_t>(std::max<std::ptrdiff_t>(dcm.offset(), 0));
  if (!requireAttribute(p, n + 1, dcm, "dcm", "scriptid", &entry.scriptid, failure) ||
      !requireAttribute(p, n + 1, dcm, "dcm", "scriptver", &entry.scriptver, failure)) {
    return false;
  }
  noteNumber(p, n + 1, dcm, "scriptid", entry.scriptid, "its report rows");
  noteNumber(p, n + 1, dcm, "scriptver", entry.scriptver, "its report rows");
  subWriteLog(rs, "MSG:-----Counter [" + decimal(static_cast<long long>(n) + 1) + "] --> " +
                      "ScriptID=" + entry.scriptid + " :: ScriptVer=" + entry.scriptver +
                      " --------------------\"");
  std::unordered_set<std::string> seen;
  for (const XmlNode& child : dcm.children()) {
    if (child.kind() != XmlNodeKind::kElement) continue;
    const std::string name = toLowerAnsi(trimSpaces(child.name()));
    const EntryField* field = std::find_if(std::begin(kEntryFields), std::end(kEntryFields),
                                           [&](const EntryField& f) { return name == f.name; });
    if (field == std::end(kEntryFields)) {
      if (name != kIgnoredEntryElement) noteUnknownEntryElement(p, n + 1, child, name);
      continue;
    }
    if (!seen.insert(name).second) {
      p.note(n + 1, child, false, "a second <" + name + ">", "a run keeps only the last one",
             "merge them into one");
    }
    std::string& value = entry.*field->member;
    value = trimSpaces(child.text());
    entryLine += field->label + value + "<<>>";
    if (field->member == &MonitorEntry::evntlgsourcestr) recordLogName(rs, p.recordedNames, value);
  }
  if (trimSpaces(entry.evntlgsourcestr).empty()) {
    p.note(n + 1, dcm, false, "no event log in <evntlgsourcestr>", "a run never reads this entry",
           "name the log, such as System");
  }
  subWriteLog(rs, entryLine);
  return true;
}

// The direct children of the template element, in document order.
bool readTemplateElement(Parse& p, const XmlNode& templateElement, std::string* failure) {
  int templates = 0;
  XmlNode lastTemplate;
  for (const XmlNode& child : templateElement.children()) {
    if (child.kind() != XmlNodeKind::kElement) continue;
    const std::string name = child.name();
    if (name == "template") {
      ++templates;
      lastTemplate = child;
      if (!readTemplateChild(p, child, failure)) return false;
    } else if (name == "dcm") {
      if (!readEntry(p, child, failure)) return false;
    } else {
      p.note(0, child, false, "unknown element <" + name + "> in <dcmevntlgtemplat>",
             "a run ignores it",
             equalsNoCase(name, "dcm") || equalsNoCase(name, "template")
                 ? "element names are case-sensitive: write <" + toLowerAnsi(name) + ">"
                 : "the template's children are <template> and <dcm> entries");
    }
  }
  if (templates == 0) {
    p.note(0, XmlNode(), true, "no <template id=\"...\" version=\"...\"> element",
           "the reports carry template id 0 and version 0");
  } else if (templates > 1) {
    p.note(0, lastTemplate, true, std::to_string(templates) + " <template> elements",
           "the last one's id and version count");
  }
  if (!p.rs.hasEntries) p.note(0, XmlNode(), true, "no <dcm> entry", "a run monitors nothing");
  return true;
}

// Every element named name in the document after the first, in document order; a walk without
// recursion, so nesting depth is the template's to choose.
std::vector<XmlNode> laterElements(const XmlDocument& document, const std::string& name) {
  std::vector<XmlNode> found;
  std::vector<XmlNode> pending{document.document().firstChild()};
  while (!pending.empty()) {
    XmlNode n = pending.back();
    pending.pop_back();
    if (!n) continue;
    pending.push_back(n.nextSibling());
    if (n.kind() != XmlNodeKind::kElement) continue;
    if (n.name() == name) found.push_back(n);
    pending.push_back(n.firstChild());
  }
  if (!found.empty()) found.erase(found.begin());
  return found;
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
    rs.templateNotes.clear();
    bool read = os.files.readFile(path, &bytes, kMaxSettingsFileBytes).ok();
    if (read) rs.templateBytes = bytes;
    if (!read || !document.loadBytes(bytes).ok()) {
      subWriteLog(rs, "ERR : Failed to load xml file, " + path);
      setTemplateFailure(rs, "Failed to load the xml file");
      return;
    }
    XmlNode templateElement = document.firstElement("dcmevntlgtemplat");
    Parse parse{rs, {}};
    if (!templateElement) {
      parse.note(0, document.rootElement(), false,
                 "no <dcmevntlgtemplat> element (the root element is <" +
                     document.rootElement().name() + ">)",
                 "a run reads no entry, monitors nothing and reports success",
                 "make <dcmevntlgtemplat> the root element");
    }
    for (const XmlNode& later : laterElements(document, "dcmevntlgtemplat")) {
      parse.note(0, later, false, "a second <dcmevntlgtemplat> element", "a run never reads it",
                 "move its entries into the first one");
    }
    if (!templateElement || readTemplateElement(parse, templateElement, &failure)) {
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
