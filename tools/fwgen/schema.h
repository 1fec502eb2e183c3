// The generator's databases, data sets and indexes, and the record data that
// it writes into them: customer, order, product, employee and payroll rows
// laid out as fixed fields (text padded with blanks, binary integers).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "fwgen/rng.h"

namespace fwgen {

enum field_kind : uint8_t {
  F_ID,
  F_CUSTOMER,
  F_NAME,
  F_STREET,
  F_CITY,
  F_ZIP,
  F_COUNTRY,
  F_PHONE,
  F_EMAIL,
  F_MONEY,
  F_NOTE,
  F_DATE,
  F_STATUS,
  F_SKU,
  F_QTY,
  F_PRODUCT,
  F_DEPT,
  F_TITLE,
  F_PERIOD,
  F_IBAN,
  F_CARRIER,
  F_STOCK
};

struct field {
  const char* name;  // item name as the set's context record lists it
  char type;         // 'I' binary integer, 'X' text
  uint16_t size;     // bytes
  field_kind kind;
};

struct db_def {
  uint32_t node;
  const char* name;      // as the log's context records carry it
  const char* map_name;  // as the node name map file spells it
};

struct set_def {
  uint32_t node;
  int db;  // index into databases()
  const char* name;
  const char* map_name;
  bool items_in_context;  // described by a SET_ITEMS context record, else SET
  std::vector<field> fields;
  uint32_t index_node;  // 0: no index
  const char* index_name;
  const char* index_map_name;
  int key_field;  // field that the index is keyed on
  bool pooled;    // keeps a variable-length note in the item pool
  uint16_t reclen() const;
};

const std::vector<db_def>& databases();
const std::vector<set_def>& sets();

// A new row for record number recno of the set; now dates it, salt (the
// seed) varies whom it is about.
std::string make_record(const set_def& s, uint32_t recno, uint32_t now, rng& r, uint64_t salt);
// Changes one field of a row in place (as an application update would) and
// returns the offset and length of the changed field.
std::pair<uint16_t, uint16_t> change_record(const set_def& s, std::string& rec, uint32_t recno,
                                            uint32_t now, rng& r, uint64_t salt);
// The index key of a row: the key field's bytes, blanks trimmed.
std::string record_key(const set_def& s, const std::string& rec);

// Texts for audit records and catalog entries.
struct user_def {
  const char* user;
  const char* program;
  const char* terminal;
  std::vector<int> dbs;   // databases opened
  std::vector<int> sets;  // sets the program changes
};
const std::vector<user_def>& users();
std::string memo_text(const user_def& u, rng& r);

}  // namespace fwgen
