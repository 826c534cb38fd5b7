#include "platform/eventlog/event_record.h"

#include <charconv>
#include <cstdio>
#include <vector>

#include "platform/clock.h"
#include "util/ascii.h"
#include "util/civil_time.h"
#include "util/text_format.h"

namespace sccevtmon {
namespace {

constexpr std::uint64_t kAuditFailure = 0x0010000000000000ULL;
constexpr std::uint64_t kAuditSuccess = 0x0020000000000000ULL;

// The first direct child element of node named name.
XmlNode childElement(const XmlNode& node, std::string_view name) {
  for (XmlNode c = node.firstChild(); c; c = c.nextSibling()) {
    if (c.isElement(name)) return c;
  }
  return {};
}

std::string trimmed(const std::string& text) { return std::string(trimAscii(text, kWhiteSpace)); }

template <typename T>
std::optional<T> number(const std::string& text, int base = 10) {
  std::string t = trimmed(text);
  std::string_view digits(t);
  if (base == 16 && digits.size() > 2 && digits[0] == '0' &&
      (digits[1] == 'x' || digits[1] == 'X')) {
    digits.remove_prefix(2);
  }
  T value{};
  auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
  if (ec != std::errc() || end != digits.data() + digits.size() || digits.empty()) {
    return std::nullopt;
  }
  return value;
}

std::string localTimeText(long long civil) {
  std::string out;
  out.reserve(19);
  appendTimestamp(out, fromCivilSeconds(civil));
  return out;
}

std::string eventType(std::uint64_t keywords, int level) {
  if (keywords & kAuditFailure) return "Failure Audit event";
  if (keywords & kAuditSuccess) return "Success Audit event";
  if (level == 1 || level == 2) return "Error event";
  if (level == 3) return "Warning event";
  return "Information event";
}

// The first element among node and its following siblings, or empty.
XmlNode elementFrom(XmlNode node) {
  while (node && node.kind() != XmlNodeKind::kElement) node = node.nextSibling();
  return node;
}

// The leaf texts below top in document order (elements without child elements), walked
// without recursion: the depth is the event's to choose.
void leafTexts(const XmlNode& top, std::vector<std::string>* out) {
  std::vector<XmlNode> enclosing;  // the elements entered below top, innermost last
  XmlNode node = top;
  for (;;) {
    if (XmlNode child = elementFrom(node.firstChild())) {
      enclosing.push_back(node);
      node = child;
      continue;
    }
    out->push_back(node.text());
    for (;;) {
      if (enclosing.empty()) return;
      if (XmlNode next = elementFrom(node.nextSibling())) {
        node = next;
        break;
      }
      node = enclosing.back();
      enclosing.pop_back();
    }
  }
}

// The insertion strings of an event: the Data values of EventData in order (Binary left
// out, empty values kept), or the leaf texts of UserData.
std::vector<std::string> insertionStrings(const XmlNode& event) {
  std::vector<std::string> strings;
  if (XmlNode data = childElement(event, "EventData")) {
    for (XmlNode c = data.firstChild(); c; c = c.nextSibling()) {
      if (c.isElement("Data")) strings.push_back(c.text());
    }
  } else if (XmlNode user = childElement(event, "UserData")) {
    for (XmlNode c = user.firstChild(); c; c = c.nextSibling()) {
      if (c.kind() == XmlNodeKind::kElement) leafTexts(c, &strings);
    }
  }
  return strings;
}

}  // namespace

std::optional<long long> parseSystemTime(std::string_view text) {
  // yyyy-mm-ddThh:mm:ss, then an optional fraction and zone designator.
  if (text.size() < 19 || text[4] != '-' || text[7] != '-' ||
      (text[10] != 'T' && text[10] != ' ') || text[13] != ':' || text[16] != ':') {
    return std::nullopt;
  }
  auto field = [&](size_t at, size_t len, int* out) {
    int v = 0;
    for (size_t k = at; k < at + len; ++k) {
      if (text[k] < '0' || text[k] > '9') return false;
      v = v * 10 + (text[k] - '0');
    }
    *out = v;
    return true;
  };
  LocalTime t;
  if (!field(0, 4, &t.year) || !field(5, 2, &t.month) || !field(8, 2, &t.day) ||
      !field(11, 2, &t.hour) || !field(14, 2, &t.minute) || !field(17, 2, &t.second) ||
      !isValidLocalTime(t)) {
    return std::nullopt;
  }
  size_t k = 19;
  if (k < text.size() && text[k] == '.') {
    ++k;
    while (k < text.size() && text[k] >= '0' && text[k] <= '9') ++k;
  }
  if (k < text.size() && text[k] == 'Z') ++k;
  if (k != text.size()) return std::nullopt;
  return civilSeconds(t);
}

std::optional<long long> scanTimeCreated(std::string_view xml) {
  size_t at = xml.find("<TimeCreated");
  if (at == std::string_view::npos) return std::nullopt;
  size_t close = xml.find('>', at);
  if (close == std::string_view::npos) return std::nullopt;
  std::string_view tag = xml.substr(at, close - at);
  size_t attr = tag.find(" SystemTime=");
  if (attr == std::string_view::npos || attr + 13 >= tag.size()) return std::nullopt;
  char quote = tag[attr + 12];
  if (quote != '"' && quote != '\'') return std::nullopt;
  size_t end = tag.find(quote, attr + 13);
  if (end == std::string_view::npos) return std::nullopt;
  std::optional<long long> utc = parseSystemTime(tag.substr(attr + 13, end - attr - 13));
  if (!utc) return std::nullopt;
  return utcToLocalCivil(*utc);
}

std::optional<long long> eventTimeCreated(const XmlNode& event) {
  XmlNode system = childElement(event, "System");
  XmlNode created = childElement(system, "TimeCreated");
  std::string text;
  if (!created || !created.attribute("SystemTime", &text)) return std::nullopt;
  std::optional<long long> utc = parseSystemTime(text);
  if (!utc) return std::nullopt;
  return utcToLocalCivil(*utc);
}

std::string oneLine(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r') {
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
      out += ' ';
    } else if (c == '\n' || c == '\t') {
      out += ' ';
    } else {
      out += c;
    }
  }
  return out;
}

void fillEventRow(const EventTexts& texts, EventRow* row) {
  auto set = [&](EventField f, LogValue v) { row->values[static_cast<int>(f)] = std::move(v); };
  std::uint64_t keywords = number<std::uint64_t>(texts.keywords, 16).value_or(0);
  int level = number<int>(texts.level).value_or(0);
  set(EventField::kEventTypeName, eventType(keywords, level));
  set(EventField::kTimeGenerated,
      texts.created ? LogValue(localTimeText(*texts.created)) : std::nullopt);
  set(EventField::kSourceName, texts.source);

  std::string category = texts.renderedTask;
  if (category.empty()) {
    long long task = number<long long>(texts.task).value_or(0);
    category = task == 0 ? "None" : "(" + std::to_string(task) + ")";
  }
  set(EventField::kEventCategoryName, category);

  LogValue idText;
  if (std::optional<std::uint64_t> id = number<std::uint64_t>(texts.eventId)) {
    idText = std::to_string(*id & 0xFFFF);
  }
  set(EventField::kEventId, idText);

  std::string text = texts.renderedMessage;
  if (text.empty()) {
    text = "The description for Event ID " + idText.value_or("0") + " from source " +
           texts.source.value_or("") +
           " cannot be found. The following information was included with the event: ";
    for (size_t k = 0; k < texts.strings.size(); ++k) {
      if (k > 0) text += ", ";
      text += texts.strings[k];
    }
  }
  set(EventField::kMessage, oneLine(text));
  // Character references can bring in control characters; like characters the code page
  // cannot show they read as '?'.
  for (LogValue& v : row->values) {
    if (!v) continue;
    for (char& c : *v) {
      if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\r' && c != '\n') c = '?';
    }
  }
}

void mapEvent(const XmlNode& event, EventRow* row) {
  XmlNode system = childElement(event, "System");
  XmlNode rendering = childElement(event, "RenderingInfo");

  std::optional<std::uint64_t> id =
      number<std::uint64_t>(childElement(system, "EventRecordID").text());
  row->recordId = id.value_or(0);

  EventTexts texts;
  texts.keywords = childElement(system, "Keywords").text();
  texts.level = childElement(system, "Level").text();
  texts.task = childElement(system, "Task").text();
  texts.eventId = childElement(system, "EventID").text();
  texts.created = eventTimeCreated(event);
  if (XmlNode provider = childElement(system, "Provider")) {
    std::string name;
    if (provider.attribute("EventSourceName", &name) || provider.attribute("Name", &name)) {
      texts.source = name;
    }
  }
  if (rendering) {
    texts.renderedTask = childElement(rendering, "Task").text();
    XmlNode message = childElement(rendering, "Message");
    if (message) texts.renderedMessage = message.text();
  }
  if (texts.renderedMessage.empty()) texts.strings = insertionStrings(event);
  fillEventRow(texts, row);
}

bool takeEventXml(std::string_view xml, const EventWindow& window, XmlDocument& doc, EventRow* row,
                  bool* inWindow) {
  *inWindow = false;
  std::optional<long long> created;
  if (window.limited) {
    created = scanTimeCreated(xml);
    if (created && !window.contains(*created)) return true;
  }
  // Event data may hold control characters that XML does not allow (binary values written
  // as text, a raw NUL) and bytes that are not UTF-8; they read as '?', as characters the code
  // page cannot show do. An event nested deeper than the limit cannot be read.
  Status loaded =
      doc.loadBytes(xml, XmlLoadOptions{.maxDepth = kMaxEventDepth, .replaceBadBytes = true});
  if (!loaded.ok()) return false;
  XmlNode event = doc.rootElement();
  if (!event || event.name() != "Event") return false;
  if (window.limited && !created) {
    created = eventTimeCreated(event);
    if (!created || !window.contains(*created)) return true;
  }
  mapEvent(event, row);
  *inWindow = true;
  return true;
}

void EventLogContents::add(const EventRow& row) {
  std::array<TextRows::Cell, kEventFieldCount> cells;
  for (int f = 0; f < kEventFieldCount; ++f) {
    if (row.values[f]) cells[f] = *row.values[f];
  }
  rows.add(cells, row.recordId);
}

EventRow EventLogContents::row(std::size_t k) const {
  EventRow r;
  r.recordId = rows.key(k);
  for (int f = 0; f < kEventFieldCount; ++f) {
    if (TextRows::Cell c = rows.cell(k, f)) r.values[f] = std::string(*c);
  }
  return r;
}

std::vector<EventRow> EventLogContents::eventRows() const {
  std::vector<EventRow> all;
  all.reserve(rows.size());
  for (std::size_t k = 0; k < rows.size(); ++k) all.push_back(row(k));
  return all;
}

}  // namespace sccevtmon
