#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace sccevtmon {

// Rows of a fixed number of cells, each a text or null, held compactly: a row's texts lie one
// after another in large blocks, and a row costs its texts plus 8 bytes, 4 a cell and an
// 8-byte key. An event log's rows are held once in such a store, from the reader that made
// them to the report that writes them; a per-cell string would cost several times the text.
//
// Rows are only ever added; a cell can be rewritten no longer than it was (editAll). Blocks
// grow one at a time, so filling the store never copies what it holds.
class TextRows {
 public:
  using Cell = std::optional<std::string_view>;

  explicit TextRows(std::size_t columns) : columns_(columns) {}
  TextRows(TextRows&&) noexcept = default;
  TextRows& operator=(TextRows&&) noexcept = default;

  std::size_t columns() const { return columns_; }
  std::size_t size() const { return starts_.size(); }
  bool empty() const { return starts_.empty(); }

  // Adds a row at the end: cells in column order (fewer than columns() leave the rest null),
  // and a key the rows can be ordered by.
  void add(std::span<const Cell> cells, std::uint64_t key = 0);
  // Adds a copy of row of source (a store of as many columns).
  void addFrom(const TextRows& source, std::size_t row);

  Cell cell(std::size_t row, std::size_t column) const;
  std::uint64_t key(std::size_t row) const { return keys_[row]; }

  // Orders the rows by key; rows of equal keys keep their order.
  void sortByKey();

  // Rewrites every cell of every row in place: edit(column, cell, out) writes the new text to
  // out, which has room for the old one, and returns its length, or kNull for null. out may
  // overlap the cell's text, from in front of it: write front to back, never ahead of what is
  // read. A null cell comes as nullopt and may become a text only of length 0.
  static constexpr std::uint32_t kNull = 0xffffffffu;
  template <typename Edit>
  void editAll(Edit edit);

  // The bytes the store holds, texts and row tables.
  std::size_t bytesHeld() const;
  void clear();

 private:
  // A row's texts never span two blocks; a row larger than a block gets one of its own.
  static constexpr std::size_t kBlockBytes = std::size_t{1} << 20;

  char* reserveRow(std::size_t bytes, std::uint64_t* start);
  char* rowText(std::size_t row) {
    return blocks_[starts_[row] >> 32].get() + (starts_[row] & 0xffffffffu);
  }
  const char* rowText(std::size_t row) const {
    return blocks_[starts_[row] >> 32].get() + (starts_[row] & 0xffffffffu);
  }

  std::size_t columns_;
  std::vector<std::unique_ptr<char[]>> blocks_;
  std::vector<std::size_t> blockSizes_;
  std::size_t used_ = 0;                // bytes used of the last block
  std::vector<std::uint64_t> starts_;   // block number << 32 | offset of the row's first text
  std::vector<std::uint32_t> lengths_;  // columns_ a row; kNull for null
  std::vector<std::uint64_t> keys_;
};

template <typename Edit>
void TextRows::editAll(Edit edit) {
  for (std::size_t row = 0; row < size(); ++row) {
    // The row's texts are rewritten from its first byte on: what is written never overtakes
    // what is still to be read, since no text grows.
    char* base = rowText(row);
    std::size_t read = 0, written = 0;
    std::uint32_t* lengths = &lengths_[row * columns_];
    for (std::size_t c = 0; c < columns_; ++c) {
      Cell in;
      if (lengths[c] != kNull) in = std::string_view(base + read, lengths[c]);
      std::uint32_t out = edit(c, in, base + written);
      if (lengths[c] != kNull) read += lengths[c];
      lengths[c] = out;
      if (out != kNull) written += out;
    }
  }
}

}  // namespace sccevtmon
