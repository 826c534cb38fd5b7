#pragma once

// Binary XML of one chunk: templates compiled once into the fields they feed, and records
// decoded from their substitution values.

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "evtx/evtx.h"

namespace evtx::detail {

// Nested binary XML and element nesting are bounded, whatever the input.
constexpr int kMaxNesting = 8;        // binary XML inside substitution values
constexpr int kMaxElementDepth = 64;  // element nesting in one fragment

// The fields a template can feed (Event has one member each), in the order of Parts.
enum FieldId : int {
  kFieldSystemTime,
  kFieldEventId,
  kFieldQualifiers,
  kFieldLevel,
  kFieldTask,
  kFieldKeywords,
  kFieldProviderName,
  kFieldEventSourceName,
  kFieldEventRecordId,
  kFieldRenderedTask,
  kFieldRenderedMessage,
  kFieldCount,
};

// One node of a compiled fragment, in document order; a node's descendants follow it up to
// end. An element's attributes come first among its children.
struct Node {
  enum Kind : std::uint8_t { kElement, kAttribute, kText, kSubstitution };
  Kind kind;
  std::uint8_t name;     // a known name (NameId in binxml.cc), elements and attributes
  bool optional;         // substitutions: the optional kind
  std::uint8_t type;     // substitutions: the declared value type
  std::uint16_t index;   // substitutions: the value index
  std::uint32_t end;     // index past the last descendant
  std::uint32_t text;    // texts: offset in Fragment::text
  std::uint32_t length;  // texts: length
};

// A compiled fragment: a template definition, or the body of a fragment written without one.
struct Fragment {
  std::vector<Node> nodes;
  std::string text;  // the literal texts, UTF-8
  // Where each field is: the node of its element or attribute, or -1.
  int field[kFieldCount];
  // The first EventData element, and what fills each of its Data children: the node of the
  // one substitution it holds, or -1 when its content is read from the nodes. Not usable when
  // a substitution may bring in further children.
  int eventData = -1;
  bool eventDataPlanned = false;
  std::vector<std::int32_t> dataValue;
  std::vector<std::uint32_t> dataNode;
  void clear();
};

// A substitution value: type and bytes in the chunk.
struct Value {
  std::uint8_t type;
  std::uint32_t offset;
  std::uint32_t size;
};

// One chunk's bytes (the whole chunk, or what the file holds of it) and its compiled templates.
class Chunk {
 public:
  void reset(const unsigned char* bytes, std::uint32_t size);

  enum class Outcome : std::uint8_t {
    kKept,
    kRepaired,  // kept, with "?" for a value whose length does not suit its type
    kSkipped,   // reason() says why
  };

  // Decodes the record whose binary XML lies at [begin, end): the creation time first, then,
  // when sink wants the record, every field.
  Outcome decodeRecord(std::uint32_t begin, std::uint32_t end, std::uint64_t number,
                       std::uint64_t written, RecordSink& sink);
  // Why the last record that decodeRecord skipped was skipped.
  Reason reason() const { return reason_; }

 private:
  struct Instance {
    const Fragment* fragment = nullptr;
    const Value* values = nullptr;
    std::uint32_t count = 0;
    int depth = 0;
  };

  // Every step that meets a fault says why through fail, and its callers pass the false on.
  bool fail(Reason why) {
    reason_ = why;
    return false;
  }

  bool parseFragment(std::uint32_t begin, std::uint32_t end, int depth, Instance* out);
  const Fragment* templateAt(std::uint32_t offset);
  bool compile(std::uint32_t begin, std::uint32_t end, bool dependencyIds, Fragment* out);

  bool appendValue(const Value& v, int depth, std::string& out);
  bool appendScalarText(std::uint8_t type, const unsigned char* p, std::size_t size,
                        std::string& out);
  bool appendText(const Instance& in, std::uint32_t node, std::string& out);
  bool fieldText(const Instance& in, int node, std::string& out, bool* present);
  bool eventData(const Instance& in, std::uint32_t node);
  bool plannedEventData(const Instance& in);
  bool dataValue(const Instance& in, std::uint32_t node, const Node* only);
  bool userData(const Instance& in, std::uint32_t node);
  bool leafTexts(const Instance& in, std::uint32_t node);
  bool hasElementChild(const Instance& in, std::uint32_t node, bool* ok);
  template <typename F>
  bool forEachChild(const Instance& in, std::uint32_t node, F&& f);

  const unsigned char* bytes_ = nullptr;
  std::uint32_t size_ = 0;
  std::unordered_map<std::uint32_t, std::unique_ptr<Fragment>> templates_;
  std::vector<std::unique_ptr<Fragment>> spare_;  // compiled fragments of earlier chunks
  Fragment inline_[kMaxNesting + 1];              // fragments without a template
  std::vector<Value> values_[kMaxNesting + 1];

  Reason reason_ = Reason::kBadToken;
  bool repaired_ = false;  // the record being decoded holds a "?" for a value

  std::string arena_;  // the texts of the record being decoded
  std::vector<std::pair<std::uint32_t, std::uint32_t>> strings_;
  std::vector<std::string_view> views_;
};

}  // namespace evtx::detail
