// Feeds arbitrary bytes to the .evtx decoder as a whole file (an input that starts with a
// chunk gets a file header in front, so that mutations reach the binary XML sooner). Every
// text the decoder hands out is read in full, so the sanitizers see any view outside its
// buffer; aborts when the counts break what the reader relies on.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "evtx/evtx.h"

namespace {

void check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "evtx_decoder_fuzz: %s\n", what);
    std::abort();
  }
}

class Sink : public evtx::RecordSink {
 public:
  explicit Sink(bool keepAll) : keepAll_(keepAll) {}

  std::uint32_t wanted(std::uint64_t number, const evtx::CreationTime& created) override {
    ++asked_;
    if (created.kind == evtx::CreationTime::Kind::kFileTime) sum_ += created.fileTime;
    if (keepAll_) return evtx::kAllParts;
    return number % 2 == 0 ? static_cast<std::uint32_t>(number >> 1) & evtx::kAllParts : 0;
  }

  void take(const evtx::Event& e) override {
    ++taken_;
    for (const evtx::Field* f :
         {&e.systemTime, &e.eventId, &e.qualifiers, &e.level, &e.task, &e.keywords, &e.providerName,
          &e.eventSourceName, &e.eventRecordId, &e.renderedTask, &e.renderedMessage}) {
      touch(f->text);
      check(f->present || f->text.empty(), "text for an absent field");
    }
    for (std::string_view s : e.strings) touch(s);
  }

  long asked() const { return asked_; }
  long taken() const { return taken_; }

 private:
  void touch(std::string_view s) {
    for (char c : s) sum_ += static_cast<unsigned char>(c);
  }

  bool keepAll_;
  long asked_ = 0;
  long taken_ = 0;
  std::uint64_t sum_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static evtx::Decoder decoder;
  std::vector<std::byte> file;
  if (size >= 8 && std::memcmp(data, "ElfChnk", 7) == 0) {
    file.resize(4096);
    std::memcpy(file.data(), "ElfFile", 8);
  }
  file.insert(file.end(), reinterpret_cast<const std::byte*>(data),
              reinterpret_cast<const std::byte*>(data) + size);
  Sink sink(size % 2 == 0);
  evtx::Summary s = decoder.read(file, sink);
  if (!s.isEventLog) {
    check(!s.error.empty() && s.records == 0, "a failure without a reason, or with records");
    return 0;
  }
  check(s.skipped >= 0 && s.skipped <= s.records, "more records skipped than found");
  // A wanted record whose texts then fail to decode is both asked about and skipped.
  check(sink.asked() <= s.records, "more records asked about than found");
  check(sink.taken() + s.skipped <= s.records, "more records decoded than found");
  check(sink.taken() <= sink.asked(), "a record taken that was not wanted");
  check(s.damagedChunks <= s.chunks, "more damaged chunks than chunks");
  long counted = 0;
  for (long n : s.byReason) counted += n;
  check(counted == s.skipped + s.repaired, "a skipped or repaired record without its reason");
  check(s.places.size() == std::min<std::size_t>(counted, evtx::Summary::kMaxPlaces),
        "places kept other than the first ones");
  return 0;
}
