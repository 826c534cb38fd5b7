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

// Binary XML: the grammar is MS-EVEN6 section 2.2.12 "BinXml"; the sections named below are
// those of the public "Windows XML Event Log (EVTX) format" description, which adds what files
// hold beyond that grammar (dependency identifiers, names written in place, template
// definitions kept in the chunk).

// Tokens, section "Token types" (kMoreBit cleared: the has-more-data flag of some tokens).
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

// Token layouts: sizes in bytes, the token byte included.
constexpr std::uint32_t kTokenSize = 1;  // the tokens that are only their byte, and EOF
// "Fragment header": token, major version, minor version, flags.
constexpr std::uint32_t kFragmentHeaderSize = 4;
// "Element start": token, dependency identifier (in template definitions only), data size,
// name offset; then, with kMoreBit, the size of the attribute list ("Attribute list").
constexpr std::uint32_t kElementStartSize = 11;
constexpr std::uint32_t kDependencyIdSize = 2;
constexpr std::uint32_t kNameOffsetSize = 4;
constexpr std::uint32_t kAttributeListSize = 4;
// "Attribute", "Entity reference", "PI target": token, name offset.
constexpr std::uint32_t kNameReferenceSize = 5;
// "Value text": token, value type (always a string), character count; then the UTF-16 text.
constexpr std::uint32_t kValueTextSize = 4;
// "CDATA section", "PI data": token, character count; then the UTF-16 text.
constexpr std::uint32_t kCountedTextSize = 3;
constexpr std::uint32_t kCharCountSize = 2;
// "Character entity reference": token, the UTF-16 character.
constexpr std::uint32_t kCharReferenceSize = 3;
// "Normal substitution", "Optional substitution": token, value index, value type.
constexpr std::uint32_t kSubstitutionSize = 4;
// "Template instance": token, an unknown byte, template identifier, definition offset.
constexpr std::uint32_t kTemplateInstanceSize = 10;
constexpr std::uint32_t kDefinitionOffsetAt = 6;
// "Template definition", after the instance's fields: next definition offset, GUID, data size;
// then the data (a fragment header, the element, EOF).
constexpr std::uint32_t kDefinitionHeaderSize = 24;
constexpr std::uint32_t kDefinitionDataSizeAt = 20;
// "Template instance data": value count, then a descriptor per value (size, type, a zero
// byte), then the values' bytes.
constexpr std::uint32_t kValueCountSize = 4;
constexpr std::uint32_t kValueDescriptorSize = 4;
// "Name": an unknown 32-bit value, hash, character count; then UTF-16 text and its NUL.
constexpr std::uint32_t kNameHeaderSize = 8;
constexpr std::uint32_t kNameCountAt = 6;

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
    if (offset > size || size - offset < kNameHeaderSize) return false;
    std::uint32_t n = u16(bytes + offset + kNameCountAt);
    if ((size - offset - kNameHeaderSize) / 2 < n) return false;
    *chars = bytes + offset + kNameHeaderSize;
    *count = n;
    return true;
  }

  // The size of a name written in place at offset, with its closing NUL.
  bool inlineNameSize(std::uint32_t offset, std::uint32_t limit, std::uint32_t* out) const {
    if (offset > limit || limit - offset < kNameHeaderSize) return false;
    std::uint32_t total =
        kNameHeaderSize + 2 * static_cast<std::uint32_t>(u16(bytes + offset + kNameCountAt)) + 2;
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

namespace {

// Compiles one fragment token by token into nodes (see Chunk::compile).
class Compiler {
 public:
  Compiler(const unsigned char* chunk, std::uint32_t chunkSize, std::uint32_t pos,
           std::uint32_t end, bool dependencyIds, Fragment* f)
      : b_(chunk), size_(chunkSize), pos_(pos), end_(end), dependencyIds_(dependencyIds), f_(f) {}

  // False with why set when the fragment does not compile.
  bool run(Reason* why);

 private:
  bool fail(Reason r) {
    why_ = r;
    return false;
  }
  bool need(std::uint32_t n) const { return pos_ <= end_ && end_ - pos_ >= n; }
  std::uint32_t u32At(std::uint32_t at) const { return u32(b_ + pos_ + at); }
  bool nameAt(std::uint32_t offset, std::uint8_t* id);
  bool addText(std::string_view text);
  void closeAttribute();

  // One method per token: each checks that its token may stand here and that its bytes lie
  // inside the fragment, and moves past them.
  bool token(std::uint8_t token);
  bool fragmentHeader();
  bool openStartElement(std::uint8_t token);
  bool attribute();
  bool closeStartElement();
  bool endElement(bool empty);
  bool valueText(bool cdata);
  bool charReference();
  bool entityReference();
  bool piTarget();
  bool piData();
  bool substitution(bool optional);
  bool endOfFragment();

  const unsigned char* b_;
  std::uint32_t size_;
  std::uint32_t pos_;
  std::uint32_t end_;
  bool dependencyIds_;
  Fragment* f_;
  Reason why_ = Reason::kBadToken;
  std::uint32_t stack_[kMaxElementDepth];
  int depth_ = 0;
  int attribute_ = -1;  // the attribute whose value is being read
  bool inStartTag_ = false;
  bool done_ = false;
  std::string scratch_;
};

bool Compiler::run(Reason* why) {
  f_->clear();
  while (!done_) {
    if (!(need(kTokenSize) ? token(b_[pos_]) : fail(Reason::kOutOfBounds))) {
      *why = why_;
      return false;
    }
  }
  return true;
}

bool Compiler::token(std::uint8_t token) {
  switch (token & ~kMoreBit) {
    case kEndOfFragment:
      return endOfFragment();
    case kFragmentHeader:
      return fragmentHeader();
    case kOpenStartElement:
      return openStartElement(token);
    case kAttribute:
      return attribute();
    case kCloseStartElement:
      return closeStartElement();
    case kCloseEmptyElement:
      return endElement(true);
    case kEndElement:
      return endElement(false);
    case kValueText:
      return valueText(false);
    case kCDataSection:
      return valueText(true);
    case kCharReference:
      return charReference();
    case kEntityReference:
      return entityReference();
    case kPiTarget:
      return piTarget();
    case kPiData:
      return piData();
    case kNormalSubstitution:
      return substitution(false);
    case kOptionalSubstitution:
      return substitution(true);
    default:
      return fail(Reason::kBadToken);
  }
}

// A name reference: the name is skipped when it is written in place, right here.
bool Compiler::nameAt(std::uint32_t offset, std::uint8_t* id) {
  if (offset == pos_) {
    std::uint32_t n;
    if (!Reader{b_, end_}.inlineNameSize(pos_, end_, &n)) return fail(Reason::kOutOfBounds);
    pos_ += n;
  }
  *id = Reader{b_, size_}.nameId(offset);
  return true;
}

bool Compiler::addText(std::string_view text) {
  if (inStartTag_ && attribute_ < 0) return fail(Reason::kBadToken);
  Node n{};
  n.kind = Node::kText;
  n.text = static_cast<std::uint32_t>(f_->text.size());
  f_->text.append(text);
  n.length = static_cast<std::uint32_t>(text.size());
  n.end = static_cast<std::uint32_t>(f_->nodes.size() + 1);
  f_->nodes.push_back(n);
  return true;
}

void Compiler::closeAttribute() {
  if (attribute_ >= 0) f_->nodes[attribute_].end = static_cast<std::uint32_t>(f_->nodes.size());
  attribute_ = -1;
}

bool Compiler::endOfFragment() {
  if (depth_ != 0 || inStartTag_) return fail(Reason::kBadToken);
  locateFields(*f_);
  planEventData(*f_);
  done_ = true;
  return true;
}

bool Compiler::fragmentHeader() {
  if (!need(kFragmentHeaderSize)) return fail(Reason::kOutOfBounds);
  pos_ += kFragmentHeaderSize;
  return true;
}

bool Compiler::openStartElement(std::uint8_t token) {
  // Elements of a template definition carry a dependency identifier; elements written without
  // a template do not.
  std::uint32_t head = dependencyIds_ ? kElementStartSize : kElementStartSize - kDependencyIdSize;
  if (inStartTag_) return fail(Reason::kBadToken);
  if (depth_ == kMaxElementDepth) return fail(Reason::kTooDeep);
  if (!need(head)) return fail(Reason::kOutOfBounds);
  std::uint32_t nameOffset = u32At(head - kNameOffsetSize);
  pos_ += head;
  Node n{};
  n.kind = Node::kElement;
  if (!nameAt(nameOffset, &n.name)) return false;
  if (token & kMoreBit) {
    if (!need(kAttributeListSize)) return fail(Reason::kOutOfBounds);
    pos_ += kAttributeListSize;
  }
  stack_[depth_++] = static_cast<std::uint32_t>(f_->nodes.size());
  f_->nodes.push_back(n);
  inStartTag_ = true;
  return true;
}

bool Compiler::attribute() {
  if (!inStartTag_) return fail(Reason::kBadToken);
  if (!need(kNameReferenceSize)) return fail(Reason::kOutOfBounds);
  closeAttribute();
  std::uint32_t nameOffset = u32At(kTokenSize);
  pos_ += kNameReferenceSize;
  Node n{};
  n.kind = Node::kAttribute;
  if (!nameAt(nameOffset, &n.name)) return false;
  attribute_ = static_cast<int>(f_->nodes.size());
  f_->nodes.push_back(n);
  return true;
}

bool Compiler::closeStartElement() {
  if (!inStartTag_) return fail(Reason::kBadToken);
  closeAttribute();
  inStartTag_ = false;
  pos_ += kTokenSize;
  return true;
}

// Ends an element: empty, when its start tag closes it (/>), or after its content.
bool Compiler::endElement(bool empty) {
  if (empty != inStartTag_ || depth_ == 0) return fail(Reason::kBadToken);
  closeAttribute();
  inStartTag_ = false;
  f_->nodes[stack_[--depth_]].end = static_cast<std::uint32_t>(f_->nodes.size());
  pos_ += kTokenSize;
  return true;
}

// A text written in the template, as a value (always of string type) or a CDATA section.
bool Compiler::valueText(bool cdata) {
  std::uint32_t head = cdata ? kCountedTextSize : kValueTextSize;
  if (!need(head)) return fail(Reason::kOutOfBounds);
  if (!cdata && b_[pos_ + kTokenSize] != kString) return fail(Reason::kBadValue);
  std::uint32_t count = u16(b_ + pos_ + head - kCharCountSize);
  pos_ += head;
  if (!need(2 * count)) return fail(Reason::kOutOfBounds);
  scratch_.clear();
  appendUtf16(b_ + pos_, count, scratch_);
  pos_ += 2 * count;
  return addText(scratch_);
}

bool Compiler::charReference() {
  if (!need(kCharReferenceSize)) return fail(Reason::kOutOfBounds);
  scratch_.clear();
  appendCodePoint(u16(b_ + pos_ + kTokenSize), scratch_);
  pos_ += kCharReferenceSize;
  return addText(scratch_);
}

bool Compiler::entityReference() {
  if (!need(kNameReferenceSize)) return fail(Reason::kOutOfBounds);
  std::uint32_t nameOffset = u32At(kTokenSize);
  pos_ += kNameReferenceSize;
  const unsigned char* chars;
  std::uint32_t count;
  if (!Reader{b_, size_}.name(nameOffset, &chars, &count)) return fail(Reason::kOutOfBounds);
  scratch_.clear();
  appendUtf16(chars, count, scratch_);
  std::uint8_t unused;
  if (!nameAt(nameOffset, &unused)) return false;
  // The predefined entities read as their characters; any other stays as written.
  std::string_view e = scratch_;
  std::string_view text = e == "amp"    ? "&"
                          : e == "lt"   ? "<"
                          : e == "gt"   ? ">"
                          : e == "quot" ? "\""
                          : e == "apos" ? "'"
                                        : std::string_view();
  if (!text.empty()) return addText(text);
  return addText("&" + scratch_ + ";");
}

// Processing instructions are not part of any field: only skipped.
bool Compiler::piTarget() {
  if (!need(kNameReferenceSize)) return fail(Reason::kOutOfBounds);
  std::uint32_t nameOffset = u32At(kTokenSize);
  pos_ += kNameReferenceSize;
  std::uint8_t unused;
  return nameAt(nameOffset, &unused);
}

bool Compiler::piData() {
  if (!need(kCountedTextSize)) return fail(Reason::kOutOfBounds);
  std::uint32_t count = u16(b_ + pos_ + kTokenSize);
  pos_ += kCountedTextSize;
  if (!need(2 * count)) return fail(Reason::kOutOfBounds);
  pos_ += 2 * count;
  return true;
}

bool Compiler::substitution(bool optional) {
  if (inStartTag_ && attribute_ < 0) return fail(Reason::kBadToken);
  if (!need(kSubstitutionSize)) return fail(Reason::kOutOfBounds);
  Node n{};
  n.kind = Node::kSubstitution;
  n.optional = optional;
  n.index = u16(b_ + pos_ + kTokenSize);
  n.type = b_[pos_ + kTokenSize + 2];
  n.end = static_cast<std::uint32_t>(f_->nodes.size() + 1);
  f_->nodes.push_back(n);
  pos_ += kSubstitutionSize;
  return true;
}

}  // namespace

bool Chunk::compile(std::uint32_t pos, std::uint32_t end, bool dependencyIds, Fragment* f) {
  Reason why;
  if (Compiler(bytes_, size_, pos, end, dependencyIds, f).run(&why)) return true;
  return fail(why);
}

const Fragment* Chunk::templateAt(std::uint32_t offset) {
  auto found = templates_.find(offset);
  if (found != templates_.end()) return found->second.get();
  std::unique_ptr<Fragment> f;
  if (offset <= size_ && size_ - offset >= kDefinitionHeaderSize) {
    std::uint32_t dataSize = u32(bytes_ + offset + kDefinitionDataSizeAt);
    std::uint32_t begin = offset + kDefinitionHeaderSize;
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
  if (depth > kMaxNesting) return fail(Reason::kTooDeep);
  if (end > size_ || pos > end) return fail(Reason::kOutOfBounds);
  const unsigned char* b = bytes_;
  auto need = [&](std::uint32_t n) { return end - pos >= n; };
  if (need(kTokenSize) && b[pos] == kFragmentHeader) {
    if (!need(kFragmentHeaderSize)) return fail(Reason::kOutOfBounds);
    pos += kFragmentHeaderSize;
  }
  if (!need(kTokenSize)) return fail(Reason::kOutOfBounds);
  out->depth = depth;
  if (b[pos] != kTemplateInstance) {
    // A fragment written out without a template: its elements should carry no dependency
    // identifiers, but some writers put them in.
    if (!compile(pos, end, false, &inline_[depth]) && !compile(pos, end, true, &inline_[depth])) {
      return false;
    }
    out->fragment = &inline_[depth];
    out->values = nullptr;
    out->count = 0;
    return true;
  }
  if (!need(kTemplateInstanceSize)) return fail(Reason::kOutOfBounds);
  std::uint32_t definition = u32(b + pos + kDefinitionOffsetAt);
  pos += kTemplateInstanceSize;
  if (definition == pos) {
    // The definition is written in place; it is compiled from there and skipped.
    if (!need(kDefinitionHeaderSize)) return fail(Reason::kOutOfBounds);
    std::uint32_t dataSize = u32(b + pos + kDefinitionDataSizeAt);
    if (end - pos - kDefinitionHeaderSize < dataSize) return fail(Reason::kOutOfBounds);
    pos += kDefinitionHeaderSize + dataSize;
  }
  const Fragment* f = templateAt(definition);
  if (f == nullptr) return fail(Reason::kBadTemplate);
  if (!need(kValueCountSize)) return fail(Reason::kOutOfBounds);
  std::uint32_t count = u32(b + pos);
  pos += kValueCountSize;
  if (count > (end - pos) / kValueDescriptorSize) return fail(Reason::kOutOfBounds);
  std::vector<Value>& values = values_[depth];
  values.resize(count);
  std::uint32_t data = pos + kValueDescriptorSize * count;
  for (std::uint32_t k = 0; k < count; ++k) {
    const unsigned char* d = b + pos + kValueDescriptorSize * k;
    Value& v = values[k];
    v.size = u16(d);
    v.type = d[2];
    v.offset = data;
    if (end - data < v.size) return fail(Reason::kOutOfBounds);
    data += v.size;
  }
  out->fragment = f;
  out->values = values.data();
  out->count = count;
  return true;
}

// A value whose length does not suit its type reads "?", as a bad byte of a rendered event
// does, and the record is kept: one odd value should not hide the event.
bool Chunk::appendScalarText(std::uint8_t type, const unsigned char* p, std::size_t size,
                             std::string& out) {
  switch (appendScalar(type, p, size, out)) {
    case Fit::kFits:
      return true;
    case Fit::kBadLength:
      out += '?';
      repaired_ = true;
      return true;
    case Fit::kBadValue:
      break;
  }
  return fail(Reason::kBadValue);
}

bool Chunk::appendValue(const Value& v, int depth, std::string& out) {
  const unsigned char* p = bytes_ + v.offset;
  if (v.type == kBinXml) {
    Instance nested;
    if (!parseFragment(v.offset, v.offset + v.size, depth + 1, &nested)) return false;
    const Fragment& f = *nested.fragment;
    for (std::uint32_t i = 0; i < f.nodes.size(); i = f.nodes[i].end) {
      if (f.nodes[i].kind == Node::kText) {
        out.append(f.text.data() + f.nodes[i].text, f.nodes[i].length);
      } else if (!appendText(nested, i, out)) {
        return false;
      }
    }
    return true;
  }
  if (v.type & kArrayFlag) {
    const std::uint8_t type = v.type & ~kArrayFlag;
    bool first = true;
    bool ok = true;
    Fit fit = forEachArrayElement(type, p, v.size, [&](const unsigned char* e, std::size_t n) {
      if (!first) out += ", ";
      first = false;
      ok = ok && appendScalarText(type, e, n, out);
    });
    if (fit == Fit::kBadValue) return fail(Reason::kBadValue);
    if (fit == Fit::kBadLength) {
      out += '?';
      repaired_ = true;
    }
    return ok;
  }
  return appendScalarText(v.type, p, v.size, out);
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
        if (n.index < in.count) ok = appendValue(in.values[n.index], in.depth, out);
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
        ok = appendValue(in.values[part.index], in.depth, out);
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
    Fit fit = forEachArrayElement(
        type, bytes_ + v.offset, v.size, [&](const unsigned char* e, std::size_t n) {
          std::uint32_t begin = static_cast<std::uint32_t>(arena_.size());
          ok = ok && appendScalarText(type, e, n, arena_);
          strings_.emplace_back(begin, static_cast<std::uint32_t>(arena_.size()) - begin);
        });
    if (fit == Fit::kBadValue) return fail(Reason::kBadValue);
    if (fit == Fit::kBadLength) {
      // An array that does not divide into elements is one "?".
      strings_.emplace_back(static_cast<std::uint32_t>(arena_.size()), 1);
      arena_ += '?';
      repaired_ = true;
    }
    return ok;
  }
  std::uint32_t begin = static_cast<std::uint32_t>(arena_.size());
  if (only != nullptr) {
    if (only->index < in.count) {
      const Value& v = in.values[only->index];
      // The common case first: a string, made without the general path.
      if (v.type == kString && v.size % 2 == 0) {
        appendUtf16(bytes_ + v.offset, v.size / 2, arena_);
      } else if (!appendValue(v, in.depth, arena_)) {
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

Chunk::Outcome Chunk::decodeRecord(std::uint32_t begin, std::uint32_t end, std::uint64_t number,
                                   std::uint64_t written, RecordSink& sink) {
  repaired_ = false;
  Instance in;
  if (!parseFragment(begin, end, 0, &in)) return Outcome::kSkipped;
  const Fragment& f = *in.fragment;
  // The record must be an Event element.
  std::uint32_t root = 0;
  while (root < f.nodes.size() && f.nodes[root].kind != Node::kElement) root = f.nodes[root].end;
  if (root >= f.nodes.size() || f.nodes[root].name != kNameEvent) {
    reason_ = Reason::kNotAnEvent;
    return Outcome::kSkipped;
  }

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
  if (parts == 0) return Outcome::kKept;

  arena_.clear();
  strings_.clear();
  std::pair<std::uint32_t, std::uint32_t> spans[kFieldCount];
  bool present[kFieldCount];
  for (int k = 0; k < kFieldCount; ++k) {
    std::uint32_t at = static_cast<std::uint32_t>(arena_.size());
    present[k] = false;
    if ((parts & (1u << k)) && !fieldText(in, f.field[k], arena_, &present[k])) {
      return Outcome::kSkipped;
    }
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
    if (!scan(kNameEventData, DataSource::kEventData, &Chunk::eventData) ||
        (!found && !scan(kNameUserData, DataSource::kUserData, &Chunk::userData))) {
      return Outcome::kSkipped;
    }
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
  return repaired_ ? Outcome::kRepaired : Outcome::kKept;
}

}  // namespace evtx::detail
