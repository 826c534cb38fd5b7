#include "util/text_rows.h"

#include <algorithm>
#include <cstring>
#include <numeric>

namespace sccevtmon {

char* TextRows::reserveRow(std::size_t bytes, std::uint64_t* start) {
  if (blocks_.empty() || blockSizes_.back() - used_ < bytes) {
    std::size_t size = std::max(bytes, kBlockBytes);
    blocks_.push_back(std::make_unique_for_overwrite<char[]>(size));
    blockSizes_.push_back(size);
    used_ = 0;
  }
  *start = (static_cast<std::uint64_t>(blocks_.size() - 1) << 32) | used_;
  char* at = blocks_.back().get() + used_;
  used_ += bytes;
  return at;
}

void TextRows::add(std::span<const Cell> cells, std::uint64_t key) {
  std::size_t bytes = 0;
  for (std::size_t c = 0; c < columns_ && c < cells.size(); ++c) {
    if (cells[c]) bytes += cells[c]->size();
  }
  std::uint64_t start = 0;
  char* at = reserveRow(bytes, &start);
  for (std::size_t c = 0; c < columns_; ++c) {
    if (c >= cells.size() || !cells[c]) {
      lengths_.push_back(kNull);
      continue;
    }
    // (An empty view may point nowhere, which memcpy must not be given.)
    if (!cells[c]->empty()) std::memcpy(at, cells[c]->data(), cells[c]->size());
    at += cells[c]->size();
    lengths_.push_back(static_cast<std::uint32_t>(cells[c]->size()));
  }
  starts_.push_back(start);
  keys_.push_back(key);
}

void TextRows::addFrom(const TextRows& source, std::size_t row) {
  std::vector<Cell> cells(columns_);
  for (std::size_t c = 0; c < columns_ && c < source.columns_; ++c) cells[c] = source.cell(row, c);
  add(cells, source.key(row));
}

TextRows::Cell TextRows::cell(std::size_t row, std::size_t column) const {
  const std::uint32_t* lengths = &lengths_[row * columns_];
  if (lengths[column] == kNull) return std::nullopt;
  std::size_t offset = 0;
  for (std::size_t c = 0; c < column; ++c) {
    if (lengths[c] != kNull) offset += lengths[c];
  }
  return std::string_view(rowText(row) + offset, lengths[column]);
}

void TextRows::sortByKey() {
  if (std::is_sorted(keys_.begin(), keys_.end())) return;
  std::vector<std::size_t> order(size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return keys_[a] < keys_[b]; });
  // Only the row tables move; the texts stay where they are.
  std::vector<std::uint64_t> starts(size()), keys(size());
  std::vector<std::uint32_t> lengths(lengths_.size());
  for (std::size_t i = 0; i < order.size(); ++i) {
    starts[i] = starts_[order[i]];
    keys[i] = keys_[order[i]];
    std::copy_n(&lengths_[order[i] * columns_], columns_, &lengths[i * columns_]);
  }
  starts_ = std::move(starts);
  keys_ = std::move(keys);
  lengths_ = std::move(lengths);
}

std::size_t TextRows::bytesHeld() const {
  return std::accumulate(blockSizes_.begin(), blockSizes_.end(), std::size_t{0}) +
         starts_.capacity() * sizeof(std::uint64_t) + keys_.capacity() * sizeof(std::uint64_t) +
         lengths_.capacity() * sizeof(std::uint32_t);
}

void TextRows::clear() {
  blocks_.clear();
  blockSizes_.clear();
  used_ = 0;
  starts_.clear();
  lengths_.clear();
  keys_.clear();
}

}  // namespace sccevtmon
