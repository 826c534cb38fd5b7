#include "evtx/binxml.h"

#include <cstring>
#include <string_view>

#include "evtx/value_text.h"

namespace evtx::detail {
namespace {

// The element and attribute names the fields are found by.
enum NameId : std::uint8_t {
  kNameOther,
  kNameEvent,
  kNameSystem,
  kNameProvider,
  kNameName,
  kNameEventSourceName,
  kNameEventID,
  kNameQualifiers,
  kNameLevel,
  kNameTask,
  kNameKeywords,
  kNameTimeCreated,
  kNameSystemTime,
  kNameEventRecordID,
  kNameEventData,
  kNameData,
  kNameUserData,
  kNameRenderingInfo,
  kNameMessage,
};

constexpr std::string_view kNames[] = {
    "",           "Event",         "System",    "Provider", "Name",     "EventSourceName",
    "EventID",    "Qualifiers",    "Level",     "Task",     "Keywords", "TimeCreated",
    "SystemTime", "EventRecordID", "EventData", "Data",     "UserData", "RenderingInfo",
    "Message",
};

// Binary XML tokens (the 0x40 bit cleared).
enum Token : std::uint8_t {
  kEndOfFragment = 0x00,
  kOpenStartElement = 0x01,
  kCloseStartElement = 0x02,
  kCloseEmptyElement = 0x03,
  kEndElement = 0x04,
  kValueText = 0x05,
  kAttribute = 0x06,
  kCDataSection = 0x07,
  kCharReference = 0x08,
  kEntityReference = 0x09,
  kPiTarget = 0x0A,
  kPiData = 0x0B,
  kTemplateInstance = 0x0C,
  kNormalSubstitution = 0x0D,
  kOptionalSubstitution = 0x0E,
  kFragmentHeader = 0x0F,
};
constexpr std::uint8_t kMoreBit = 0x40;

std::uint16_t u16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
std::uint32_t u32(const unsigned char* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

bool isNull(const Value& v) { return v.type == kNull || v.size == 0; }

}  // namespace

void Fragment::clear() {
  nodes.clear();
  text.clear();
  for (int& f : field) f = -1;
  eventData = -1;
  eventDataPlanned = false;
  dataValue.clear();
  dataNode.clear();
}

void Chunk::reset(const unsigned char* bytes, std::uint32_t size) {
  bytes_ = bytes;
  size_ = size;
  for (auto& [offset, fragment] : templates_) {
    if (fragment) spare_.push_back(std::move(fragment));
  }
  templates_.clear();
}

namespace {

// Reads names and texts of a chunk with bounds checks.
struct Reader {
  const unsigned char* bytes;
  std::uint32_t size;

  // The name stored at offset: its UTF-16 characters and count.
  bool name(std::uint32_t offset, const unsigned char** chars, std::uint32_t* count) const {
    if (offset > size || size - offset < 8) return false;
    std::uint32_t n = u16(bytes + offset + 6);
    if ((size - offset - 8) / 2 < n) return false;
    *chars = bytes + offset + 8;
    *count = n;
    return true;
  }

  // The size of a name written in place at offset, with its closing NUL.
  bool inlineNameSize(std::uint32_t offset, std::uint32_t limit, std::uint32_t* out) const {
    if (offset > limit || limit - offset < 8) return false;
    std::uint32_t total = 8 + 2 * static_cast<std::uint32_t>(u16(bytes + offset + 6)) + 2;
    if (limit - offset < total) return false;
    *out = total;
    return true;
  }

  NameId nameId(std::uint32_t offset) const {
    const unsigned char* chars;
    std::uint32_t count;
    if (!name(offset, &chars, &count)) return kNameOther;
    for (std::uint8_t id = 1; id < std::size(kNames); ++id) {
      std::string_view k = kNames[id];
      if (k.size() != count) continue;
      bool same = true;
      for (std::uint32_t i = 0; i < count && same; ++i) {
        same = chars[2 * i] == static_cast<unsigned char>(k[i]) && chars[2 * i + 1] == 0;
      }
      if (same) return static_cast<NameId>(id);
    }
    return kNameOther;
  }
};

// The first child of node (an element) that is of kind with the given name, or -1.
int childOf(const Fragment& f, int node, Node::Kind kind, std::uint8_t name) {
  if (node < 0) return -1;
  for (std::uint32_t i = node + 1; i < f.nodes[node].end; i = f.nodes[i].end) {
    if (f.nodes[i].kind == kind && f.nodes[i].name == name) return static_cast<int>(i);
  }
  return -1;
}

// Finds the fields in a compiled fragment whose first element is Event.
void locateFields(Fragment& f) {
  int event = -1;
  for (std::uint32_t i = 0; i < f.nodes.size(); i = f.nodes[i].end) {
    if (f.nodes[i].kind == Node::kElement) {
      event = static_cast<int>(i);
      break;
    }
  }
  if (event < 0 || f.nodes[event].name != kNameEvent) return;
  auto element = [&](int parent, std::uint8_t name) {
    return childOf(f, parent, Node::kElement, name);
  };
  auto attribute = [&](int parent, std::uint8_t name) {
    return childOf(f, parent, Node::kAttribute, name);
  };
  int system = element(event, kNameSystem);
  int provider = element(system, kNameProvider);
  f.field[kFieldProviderName] = attribute(provider, kNameName);
  f.field[kFieldEventSourceName] = attribute(provider, kNameEventSourceName);
  int eventId = element(system, kNameEventID);
  f.field[kFieldEventId] = eventId;
  f.field[kFieldQualifiers] = attribute(eventId, kNameQualifiers);
  f.field[kFieldLevel] = element(system, kNameLevel);
  f.field[kFieldTask] = element(system, kNameTask);
  f.field[kFieldKeywords] = element(system, kNameKeywords);
  f.field[kFieldSystemTime] = attribute(element(system, kNameTimeCreated), kNameSystemTime);
  f.field[kFieldEventRecordId] = element(system, kNameEventRecordID);
  int rendering = element(event, kNameRenderingInfo);
  f.field[kFieldRenderedTask] = element(rendering, kNameTask);
  f.field[kFieldRenderedMessage] = element(rendering, kNameMessage);
}

// The one substitution an element's content consists of, or null.
const Node* onlySubstitution(const Fragment& f, std::uint32_t element) {
  std::uint32_t first = element + 1;
  while (first < f.nodes[element].end && f.nodes[first].kind == Node::kAttribute) {
    first = f.nodes[first].end;
  }
  if (first + 1 == f.nodes[element].end && f.nodes[first].kind == Node::kSubstitution) {
    return &f.nodes[first];
  }
  return nullptr;
}

// Works out once what fills the Data elements of the fragment's first EventData.
void planEventData(Fragment& f) {
  for (std::uint32_t i = 0; i < f.nodes.size(); ++i) {
    if (f.nodes[i].kind == Node::kElement && f.nodes[i].name == kNameEventData) {
      f.eventData = static_cast<int>(i);
      break;
    }
  }
  if (f.eventData < 0) return;
  const std::uint32_t e = static_cast<std::uint32_t>(f.eventData);
  for (std::uint32_t c = e + 1; c < f.nodes[e].end; c = f.nodes[c].end) {
    const Node& n = f.nodes[c];
    if (n.kind == Node::kSubstitution) return;  // it may bring in elements
    if (n.kind != Node::kElement || n.name != kNameData) continue;
    const Node* only = onlySubstitution(f, c);
    f.dataValue.push_back(only != nullptr ? static_cast<std::int32_t>(only - f.nodes.data()) : -1);
    f.dataNode.push_back(c);
  }
  f.eventDataPlanned = true;
}

}  // namespace

bool Chunk::compile(std::uint32_t pos, std::uint32_t end, bool dependencyIds, Fragment* f) {
  f->clear();
  Reader r{bytes_, end};
  std::uint32_t stack[kMaxElementDepth];
  int depth = 0;
  int attribute = -1;  // the attribute whose value is being read
  bool inStartTag = false;
  const unsigned char* b = bytes_;

  auto need = [&](std::uint32_t n) { return pos <= end && end - pos >= n; };
  auto closeAttribute = [&] {
    if (attribute >= 0) f->nodes[attribute].end = static_cast<std::uint32_t>(f->nodes.size());
    attribute = -1;
  };
  // A name reference: skips the name when it is written in place.
  auto nameAt = [&](std::uint32_t offset, std::uint8_t* id) {
    if (offset == pos) {
      std::uint32_t n;
      if (!r.inlineNameSize(pos, end, &n)) return false;
      pos += n;
    }
    *id = Reader{bytes_, size_}.nameId(offset);
    return true;
  };
  auto addText = [&](std::string_view text) {
    if (inStartTag && attribute < 0) return false;
    Node n{};
    n.kind = Node::kText;
    n.text = static_cast<std::uint32_t>(f->text.size());
    f->text.append(text);
    n.length = static_cast<std::uint32_t>(text.size());
    n.end = static_cast<std::uint32_t>(f->nodes.size() + 1);
    f->nodes.push_back(n);
    return true;
  };
  std::string scratch;

  while (true) {
    if (!need(1)) return false;
    std::uint8_t token = b[pos];
    switch (token & ~kMoreBit) {
      case kEndOfFragment:
        if (depth != 0 || inStartTag) return false;
        locateFields(*f);
        planEventData(*f);
        return true;
      case kFragmentHeader:
        if (!need(4)) return false;
        pos += 4;
        break;
      case kOpenStartElement: {
        // Elements of a template definition carry a dependency identifier; elements written
        // without a template do not.
        std::uint32_t head = dependencyIds ? 11 : 9;
        if (inStartTag || !need(head) || depth == kMaxElementDepth) return false;
        std::uint32_t nameOffset = u32(b + pos + head - 4);
        pos += head;
        Node n{};
        n.kind = Node::kElement;
        if (!nameAt(nameOffset, &n.name)) return false;
        if (token & kMoreBit) {
          if (!need(4)) return false;
          pos += 4;  // the size of the attribute list
        }
        stack[depth++] = static_cast<std::uint32_t>(f->nodes.size());
        f->nodes.push_back(n);
        inStartTag = true;
        break;
      }
      case kAttribute: {
        if (!inStartTag || !need(5)) return false;
        closeAttribute();
        std::uint32_t nameOffset = u32(b + pos + 1);
        pos += 5;
        Node n{};
        n.kind = Node::kAttribute;
        if (!nameAt(nameOffset, &n.name)) return false;
        attribute = static_cast<int>(f->nodes.size());
        f->nodes.push_back(n);
        break;
      }
      case kCloseStartElement:
        if (!inStartTag) return false;
        closeAttribute();
        inStartTag = false;
        ++pos;
        break;
      case kCloseEmptyElement:
      case kEndElement:
        if ((token & ~kMoreBit) == kCloseEmptyElement ? !inStartTag : inStartTag) return false;
        if (depth == 0) return false;
        closeAttribute();
        inStartTag = false;
        f->nodes[stack[--depth]].end = static_cast<std::uint32_t>(f->nodes.size());
        ++pos;
        break;
      case kValueText:
      case kCDataSection: {
        bool value = (token & ~kMoreBit) == kValueText;
        std::uint32_t head = value ? 4 : 3;
        if (!need(head)) return false;
        if (value && b[pos + 1] != kString) return false;
        std::uint32_t count = u16(b + pos + head - 2);
        pos += head;
        if (!need(2 * count)) return false;
        scratch.clear();
        appendUtf16(b + pos, count, scratch);
        pos += 2 * count;
        if (!addText(scratch)) return false;
        break;
      }
      case kCharReference: {
        if (!need(3)) return false;
        scratch.clear();
        appendCodePoint(u16(b + pos + 1), scratch);
        pos += 3;
        if (!addText(scratch)) return false;
        break;
      }
      case kEntityReference: {
        if (!need(5)) return false;
        std::uint32_t nameOffset = u32(b + pos + 1);
        pos += 5;
        const unsigned char* chars;
        std::uint32_t count;
        if (!Reader{bytes_, size_}.name(nameOffset, &chars, &count)) return false;
        scratch.clear();
        appendUtf16(chars, count, scratch);
        if (nameOffset == pos) {
          std::uint32_t n;
          if (!r.inlineNameSize(pos, end, &n)) return false;
          pos += n;
        }
        // The predefined entities read as their characters; any other stays as written.
        std::string_view e = scratch;
        std::string_view text = e == "amp"    ? "&"
                                : e == "lt"   ? "<"
                                : e == "gt"   ? ">"
                                : e == "quot" ? "\""
                                : e == "apos" ? "'"
                                              : std::string_view();
        std::string written;
        if (text.empty()) {
          written = "&" + scratch + ";";
          text = written;
        }
        if (!addText(text)) return false;
        break;
      }
      case kPiTarget: {
        if (!need(5)) return false;
        std::uint32_t nameOffset = u32(b + pos + 1);
        pos += 5;
        std::uint8_t id;
        if (!nameAt(nameOffset, &id)) return false;
        break;
      }
      case kPiData: {
        if (!need(3)) return false;
        std::uint32_t count = u16(b + pos + 1);
        pos += 3;
        if (!need(2 * count)) return false;
        pos += 2 * count;
        break;
      }
      case kNormalSubstitution:
      case kOptionalSubstitution: {
        if (!need(4) || (inStartTag && attribute < 0)) return false;
        Node n{};
        n.kind = Node::kSubstitution;
        n.optional = (token & ~kMoreBit) == kOptionalSubstitution;
        n.index = u16(b + pos + 1);
        n.type = b[pos + 3];
        n.end = static_cast<std::uint32_t>(f->nodes.size() + 1);
        f->nodes.push_back(n);
        pos += 4;
        break;
      }
      default:
        return false;
    }
  }
}

const Fragment* Chunk::templateAt(std::uint32_t offset) {
  auto found = templates_.find(offset);
  if (found != templates_.end()) return found->second.get();
  std::unique_ptr<Fragment> f;
  if (offset <= size_ && size_ - offset >= 24) {
    std::uint32_t dataSize = u32(bytes_ + offset + 20);
    std::uint32_t begin = offset + 24;
    if (dataSize <= size_ - begin) {
      if (spare_.empty()) {
        f = std::make_unique<Fragment>();
      } else {
        f = std::move(spare_.back());
        spare_.pop_back();
      }
      if (!compile(begin, begin + dataSize, true, f.get())) {
        spare_.push_back(std::move(f));
      }
    }
  }
  // A template that does not compile is remembered as such.
  return templates_.emplace(offset, std::move(f)).first->second.get();
}

bool Chunk::parseFragment(std::uint32_t pos, std::uint32_t end, int depth, Instance* out) {
  if (depth > kMaxNesting || end > size_ || pos > end) return false;
  const unsigned char* b = bytes_;
  auto need = [&](std::uint32_t n) { return end - pos >= n; };
  if (need(1) && b[pos] == kFragmentHeader) {
    if (!need(4)) return false;
    pos += 4;
  }
  if (!need(1)) return false;
  out->depth = depth;
  if (b[pos] != kTemplateInstance) {
    // A fragment written out without a template.
    if (!compile(pos, end, false, &inline_[depth]) && !compile(pos, end, true, &inline_[depth])) {
      return false;
    }
    out->fragment = &inline_[depth];
    out->values = nullptr;
    out->count = 0;
    return true;
  }
  if (!need(10)) return false;
  std::uint32_t definition = u32(b + pos + 6);
  pos += 10;
  if (definition == pos) {
    // The definition is written in place; it is compiled from there and skipped.
    if (!need(24)) return false;
    std::uint32_t dataSize = u32(b + pos + 20);
    if (end - pos - 24 < dataSize) return false;
    pos += 24 + dataSize;
  }
  const Fragment* f = templateAt(definition);
  if (f == nullptr || !need(4)) return false;
  std::uint32_t count = u32(b + pos);
  pos += 4;
  if (count > (end - pos) / 4) return false;
  std::vector<Value>& values = values_[depth];
  values.resize(count);
  std::uint32_t data = pos + 4 * count;
  for (std::uint32_t k = 0; k < count; ++k) {
    const unsigned char* d = b + pos + 4 * k;
    Value& v = values[k];
    v.size = u16(d);
    v.type = d[2];
    v.offset = data;
    if (end - data < v.size) return false;
    data += v.size;
  }
  out->fragment = f;
  out->values = values.data();
  out->count = count;
  return true;
}

bool Chunk::appendValue(const Value& v, int depth, std::string& out, bool* ok) {
  const unsigned char* p = bytes_ + v.offset;
  if (v.type == kBinXml) {
    Instance nested;
    if (!parseFragment(v.offset, v.offset + v.size, depth + 1, &nested)) return *ok = false;
    const Fragment& f = *nested.fragment;
    for (std::uint32_t i = 0; i < f.nodes.size(); i = f.nodes[i].end) {
      if (f.nodes[i].kind == Node::kText) {
        out.append(f.text.data() + f.nodes[i].text, f.nodes[i].length);
      } else if (!appendText(nested, i, out)) {
        return *ok = false;
      }
    }
    return true;
  }
  if (v.type & kArrayFlag) {
    bool first = true;
    bool good = forEachArrayElement(v.type & ~kArrayFlag, p, v.size,
                                    [&](const unsigned char* e, std::size_t n) {
                                      if (!first) out += ", ";
                                      first = false;
                                      if (!appendScalar(v.type & ~kArrayFlag, e, n, out))
                                        *ok = false;
                                    });
    if (!good) *ok = false;
    return *ok;
  }
  if (!appendScalar(v.type, p, v.size, out)) *ok = false;
  return *ok;
}

bool Chunk::appendText(const Instance& in, std::uint32_t node, std::string& out) {
  const Fragment& f = *in.fragment;
  bool ok = true;
  for (std::uint32_t i = node + 1; i < f.nodes[node].end && ok; i = f.nodes[i].end) {
    const Node& n = f.nodes[i];
    switch (n.kind) {
      case Node::kText:
        out.append(f.text.data() + n.text, n.length);
        break;
      case Node::kSubstitution:
        if (n.index < in.count) appendValue(in.values[n.index], in.depth, out, &ok);
        break;
      case Node::kElement:
        ok = appendText(in, i, out);
        break;
      case Node::kAttribute:
        break;
    }
  }
  return ok;
}

bool Chunk::fieldText(const Instance& in, int node, std::string& out, bool* present) {
  *present = false;
  if (node < 0) return true;
  const Fragment& f = *in.fragment;
  const Node& n = f.nodes[node];
  if (n.kind == Node::kAttribute) {
    // An attribute made of one optional substitution without a value is left out.
    if (n.end == static_cast<std::uint32_t>(node) + 2) {
      const Node& only = f.nodes[node + 1];
      if (only.kind == Node::kSubstitution && only.optional &&
          (only.index >= in.count || isNull(in.values[only.index]))) {
        return true;
      }
    }
    *present = true;
    bool ok = true;
    for (std::uint32_t i = node + 1; i < n.end && ok; ++i) {
      const Node& part = f.nodes[i];
      if (part.kind == Node::kText) {
        out.append(f.text.data() + part.text, part.length);
      } else if (part.kind == Node::kSubstitution && part.index < in.count) {
        appendValue(in.values[part.index], in.depth, out, &ok);
      }
    }
    return ok;
  }
  *present = true;
  return appendText(in, static_cast<std::uint32_t>(node), out);
}

template <typename F>
bool Chunk::forEachChild(const Instance& in, std::uint32_t node, F&& f) {
  const Fragment& frag = *in.fragment;
  for (std::uint32_t i = node + 1; i < frag.nodes[node].end; i = frag.nodes[i].end) {
    const Node& n = frag.nodes[i];
    if (n.kind == Node::kElement) {
      if (!f(in, i)) return false;
    } else if (n.kind == Node::kSubstitution && n.index < in.count &&
               in.values[n.index].type == kBinXml) {
      const Value& v = in.values[n.index];
      Instance nested;
      if (!parseFragment(v.offset, v.offset + v.size, in.depth + 1, &nested)) return false;
      const Fragment& nf = *nested.fragment;
      for (std::uint32_t j = 0; j < nf.nodes.size(); j = nf.nodes[j].end) {
        if (nf.nodes[j].kind == Node::kElement && !f(nested, j)) return false;
      }
    }
  }
  return true;
}

// One Data element's text (or texts: a value array gives one per element); only is the one
// substitution the element holds, or null.
bool Chunk::dataValue(const Instance& in, std::uint32_t node, const Node* only) {
  if (only != nullptr && only->index < in.count && (in.values[only->index].type & kArrayFlag)) {
    const Value& v = in.values[only->index];
    std::uint8_t type = v.type & ~kArrayFlag;
    bool ok = true;
    bool good = forEachArrayElement(
        type, bytes_ + v.offset, v.size, [&](const unsigned char* e, std::size_t n) {
          std::uint32_t begin = static_cast<std::uint32_t>(arena_.size());
          if (!appendScalar(type, e, n, arena_)) ok = false;
          strings_.emplace_back(begin, static_cast<std::uint32_t>(arena_.size()) - begin);
        });
    return good && ok;
  }
  std::uint32_t begin = static_cast<std::uint32_t>(arena_.size());
  if (only != nullptr) {
    if (only->index < in.count) {
      const Value& v = in.values[only->index];
      bool ok = true;
      if (v.type == kString && v.size % 2 == 0) {
        appendUtf16(bytes_ + v.offset, v.size / 2, arena_);
      } else if (!appendValue(v, in.depth, arena_, &ok)) {
        return false;
      }
    }
  } else if (!appendText(in, node, arena_)) {
    return false;
  }
  strings_.emplace_back(begin, static_cast<std::uint32_t>(arena_.size()) - begin);
  return true;
}

bool Chunk::plannedEventData(const Instance& in) {
  const Fragment& f = *in.fragment;
  for (std::size_t k = 0; k < f.dataValue.size(); ++k) {
    const Node* only = f.dataValue[k] >= 0 ? &f.nodes[f.dataValue[k]] : nullptr;
    if (!dataValue(in, f.dataNode[k], only)) return false;
  }
  return true;
}

bool Chunk::eventData(const Instance& in, std::uint32_t node) {
  const Fragment& f = *in.fragment;
  if (f.eventDataPlanned && f.eventData == static_cast<int>(node)) return plannedEventData(in);
  return forEachChild(in, node, [&](const Instance& ci, std::uint32_t c) {
    const Fragment& cf = *ci.fragment;
    if (cf.nodes[c].name != kNameData) return true;
    return dataValue(ci, c, onlySubstitution(cf, c));
  });
}

bool Chunk::hasElementChild(const Instance& in, std::uint32_t node, bool* ok) {
  bool found = false;
  *ok = forEachChild(in, node, [&](const Instance&, std::uint32_t) {
    found = true;
    return true;
  });
  return found;
}

bool Chunk::leafTexts(const Instance& in, std::uint32_t node) {
  bool ok = true;
  if (!hasElementChild(in, node, &ok)) {
    if (!ok) return false;
    std::uint32_t begin = static_cast<std::uint32_t>(arena_.size());
    if (!appendText(in, node, arena_)) return false;
    strings_.emplace_back(begin, static_cast<std::uint32_t>(arena_.size()) - begin);
    return true;
  }
  return forEachChild(in, node,
                      [&](const Instance& ci, std::uint32_t c) { return leafTexts(ci, c); });
}

bool Chunk::userData(const Instance& in, std::uint32_t node) {
  return forEachChild(in, node,
                      [&](const Instance& ci, std::uint32_t c) { return leafTexts(ci, c); });
}

bool Chunk::decodeRecord(std::uint32_t begin, std::uint32_t end, std::uint64_t number,
                         std::uint64_t written, RecordSink& sink) {
  Instance in;
  if (!parseFragment(begin, end, 0, &in)) return false;
  const Fragment& f = *in.fragment;
  // The record must be an Event element.
  std::uint32_t root = 0;
  while (root < f.nodes.size() && f.nodes[root].kind != Node::kElement) root = f.nodes[root].end;
  if (root >= f.nodes.size() || f.nodes[root].name != kNameEvent) return false;

  CreationTime created;
  if (int t = f.field[kFieldSystemTime]; t >= 0) {
    created.kind = CreationTime::Kind::kOther;
    if (f.nodes[t].end == static_cast<std::uint32_t>(t) + 2 &&
        f.nodes[t + 1].kind == Node::kSubstitution) {
      const Node& sub = f.nodes[t + 1];
      const Value* v = sub.index < in.count ? &in.values[sub.index] : nullptr;
      if (v != nullptr && v->type == kFileTime && v->size == 8) {
        created.kind = CreationTime::Kind::kFileTime;
        std::memcpy(&created.fileTime, bytes_ + v->offset, 8);
      } else if (sub.optional && (v == nullptr || isNull(*v))) {
        created.kind = CreationTime::Kind::kAbsent;
      }
    }
  }
  const std::uint32_t parts = sink.wanted(number, created);
  if (parts == 0) return true;

  arena_.clear();
  strings_.clear();
  std::pair<std::uint32_t, std::uint32_t> spans[kFieldCount];
  bool present[kFieldCount];
  for (int k = 0; k < kFieldCount; ++k) {
    std::uint32_t at = static_cast<std::uint32_t>(arena_.size());
    present[k] = false;
    if ((parts & (1u << k)) && !fieldText(in, f.field[k], arena_, &present[k])) return false;
    spans[k] = {at, static_cast<std::uint32_t>(arena_.size()) - at};
  }
  // EventData, else UserData, among the event's children, which a substitution may bring in.
  Event e;
  bool found = false;
  auto scan = [&](std::uint8_t name, DataSource source,
                  bool (Chunk::*strings)(const Instance&, std::uint32_t)) {
    return forEachChild(in, root, [&](const Instance& ci, std::uint32_t c) {
      if (found || ci.fragment->nodes[c].name != name) return true;
      found = true;
      e.source = source;
      return (this->*strings)(ci, c);
    });
  };
  if (parts & kStrings) {
    if (!scan(kNameEventData, DataSource::kEventData, &Chunk::eventData)) return false;
    if (!found && !scan(kNameUserData, DataSource::kUserData, &Chunk::userData)) return false;
  }
  auto view = [&](std::pair<std::uint32_t, std::uint32_t> s) {
    return std::string_view(arena_).substr(s.first, s.second);
  };
  Field* fields[kFieldCount] = {
      &e.systemTime,    &e.eventId,      &e.qualifiers,     &e.level,
      &e.task,          &e.keywords,     &e.providerName,   &e.eventSourceName,
      &e.eventRecordId, &e.renderedTask, &e.renderedMessage};
  for (int k = 0; k < kFieldCount; ++k) *fields[k] = Field{view(spans[k]), present[k]};
  views_.clear();
  for (const auto& s : strings_) views_.push_back(view(s));
  e.strings = views_;
  e.recordNumber = number;
  e.writtenTime = written;
  sink.take(e);
  return true;
}

}  // namespace evtx::detail
