#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "util/status.h"

namespace sccevtmon {

// A value of a record-set column: text, or null. Integer columns hold their decimal text.
using FieldValue = std::optional<std::string>;

// Column types, by their data-type numbers.
inline constexpr int kAdVarChar = 200;
inline constexpr int kAdInteger = 3;

struct FieldDefinition {
  std::string name;
  int type = kAdVarChar;
  std::size_t size = 0;  // declared size of a text column; longer texts are stored cut to it
};

// An in-memory record set without a data source: columns are declared, rows are added by the
// program, kept in insertion order, and can be hidden by a filter. Rows added from another set
// share that set's stored values until one of them changes, so copying rows between sets costs
// no text copies.
class RecordSet {
 public:
  // Creates an open, empty set with these columns.
  explicit RecordSet(std::vector<FieldDefinition> fields);

  // The column index of a name (matched without regard to case), or nothing.
  std::optional<std::size_t> column(std::string_view name) const;
  const std::vector<FieldDefinition>& fields() const { return fields_; }

  // Adds a row at the end; values are given in column order (missing ones are null). A text
  // longer than its column's size is stored cut to that size.
  Status addRow(std::vector<FieldValue> values);
  // Adds a row holding the values of source's current row (sets of the same layout).
  Status addRowFrom(const RecordSet& source);

  // Number of rows visible under the current filter.
  std::size_t recordCount() const { return visible_.size(); }
  // Cursor over the visible rows, in insertion order.
  void moveFirst() { cursor_ = 0; }
  void moveNext() { ++cursor_; }
  bool atEnd() const { return cursor_ >= visible_.size(); }
  // Makes the visible row at this position (from 0) the current one.
  void moveTo(std::size_t position) { cursor_ = position; }

  // The current row's value of a column; fails for an unknown column or no current row.
  Status value(std::string_view name, FieldValue* out) const;
  // The current row's value by column index (no checks beyond the cursor).
  const FieldValue& valueAt(std::size_t column) const;
  // Changes the current row's value.
  Status setValue(std::string_view name, FieldValue value);

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
  using Row = std::vector<FieldValue>;
  struct Comparison {
    std::size_t column;
    std::string text;
  };

  FieldValue fit(std::size_t column, FieldValue value) const;
  void append(std::shared_ptr<Row> row);
  Status addShared(const std::shared_ptr<Row>& row, bool fits);
  // Whether every value of source fits this set's columns as declared.
  bool fitsWithin(const RecordSet& source) const;
  void applyFilter();
  Status currentRow(std::size_t* index) const;
  // The column of a name and the current row's index.
  Status locate(std::string_view name, std::size_t* column, std::size_t* index) const;

  std::vector<FieldDefinition> fields_;
  std::vector<std::shared_ptr<Row>> rows_;
  std::vector<std::size_t> visible_;  // indices into rows_
  std::optional<std::vector<Comparison>> filter_;
  std::size_t cursor_ = 0;
};

}  // namespace sccevtmon
