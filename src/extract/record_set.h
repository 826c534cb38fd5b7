#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "util/status.h"
#include "util/text_rows.h"

namespace sccevtmon {

// A value given to a record set: text, or null. Integer columns hold their decimal text.
using FieldValue = std::optional<std::string>;
// A value read from a record set, valid while the set's rows live.
using FieldText = TextRows::Cell;

// Column types, by their data-type numbers.
inline constexpr int kAdVarChar = 200;
inline constexpr int kAdInteger = 3;

struct FieldDefinition {
  std::string name;
  int type = kAdVarChar;
  std::size_t size = 0;  // declared size of a text column; longer texts are stored cut to it
};

// An in-memory record set without a data source: columns are declared, rows are added by the
// program, kept in insertion order, and can be hidden by a filter.
//
// The rows' values live in a compact store (TextRows) that sets share: a row added from a set
// of the same layout is the same stored row, so narrowing a million rows through several sets
// costs four bytes a row and set, never a copy of the texts. Stored values never change.
class RecordSet {
 public:
  // Creates an open, empty set with these columns.
  explicit RecordSet(std::vector<FieldDefinition> fields);

  // The column index of a name (matched without regard to case), or nothing.
  std::optional<std::size_t> column(std::string_view name) const;
  const std::vector<FieldDefinition>& fields() const { return fields_; }

  // Adds a row at the end; values are given in column order (missing ones are null). A text
  // longer than its column's size is stored cut to that size.
  Status addRow(const std::vector<FieldValue>& values);
  // Adds a row holding the values of source's current row.
  Status addRowFrom(const RecordSet& source);
  // Makes rows, a store of as many columns as the set has, the rows of this empty set, each
  // value cut to its column's size first, as addRow would store it.
  Status adopt(std::unique_ptr<TextRows> rows);

  // Number of rows visible under the current filter.
  std::size_t recordCount() const { return filter_ ? visible_.size() : rows_.size(); }
  // Cursor over the visible rows, in insertion order.
  void moveFirst() { cursor_ = 0; }
  void moveNext() { ++cursor_; }
  bool atEnd() const { return cursor_ >= recordCount(); }
  // Makes the visible row at this position (from 0) the current one.
  void moveTo(std::size_t position) { cursor_ = position; }

  // The current row's value of a column; fails for an unknown column or no current row.
  Status value(std::string_view name, FieldValue* out) const;
  // The current row's value by column index (no checks beyond the cursor).
  FieldText valueAt(std::size_t column) const { return store_->cell(storeRow(), column); }
  // The current row's number in the store the set shares: the same row has the same number in
  // every set that holds it (no checks beyond the cursor).
  std::size_t storeRow() const { return rows_[filter_ ? visible_[cursor_] : cursor_]; }

  // Shows only the rows the expression holds for: "(" comparisons "evttype ='Error event'"
  // joined by " OR " ")"; the empty text shows every row. Any other expression fails with a
  // description and leaves the filter as it was.
  Status setFilter(std::string_view expression);
  void clearFilter();

  // Deletes every visible row.
  void deleteAll();
  // Adds every visible row of source, in order.
  Status copyAllFrom(const RecordSet& source);
  // Releases every row.
  void close();

 private:
  struct Comparison {
    std::size_t column;
    std::string text;
  };

  // Cuts a text to its column's size.
  FieldText fit(std::size_t column, FieldText value) const;
  bool shown(std::uint32_t row) const;
  // Whether rows of source can be shared as they are: the same store, or an empty set that
  // can take source's store, and no value of source longer than this set's columns allow.
  bool canShare(const RecordSet& source);
  Status addCopy(const RecordSet& source, std::uint32_t row);
  void append(std::uint32_t row);
  void applyFilter();
  // The column of a name and the current row's number in the store.
  Status locate(std::string_view name, std::size_t* column, std::size_t* row) const;

  std::vector<FieldDefinition> fields_;
  std::shared_ptr<TextRows> store_;
  std::vector<std::uint32_t> rows_;     // store rows, in insertion order
  std::vector<std::uint32_t> visible_;  // positions in rows_ the filter shows
  std::optional<std::vector<Comparison>> filter_;
  std::size_t cursor_ = 0;
};

}  // namespace sccevtmon
