#include "fwgen/schema.h"

#include <cstdio>
#include <cstring>

namespace fwgen {

namespace {

const char* const first_names[] = {"Anna",  "Ben",  "Carla",  "David", "Elena", "Farid",
                                   "Greta", "Hugo", "Ines",   "Jonas", "Karin", "Lars",
                                   "Maria", "Nils", "Olga",   "Pavel", "Rosa",  "Sven",
                                   "Tara",  "Vera", "Walter", "Xenia", "Yusuf", "Zoe"};
const char* const last_names[] = {"Albers", "Becker", "Costa",   "Dubois", "Eriksen", "Fischer",
                                  "Garcia", "Hansen", "Ivanova", "Jensen", "Keller",  "Larsen",
                                  "Moreau", "Novak",  "Olsen",   "Petrov", "Rossi",   "Schmidt",
                                  "Tanaka", "Vogel",  "Weber",   "Zimmer"};
const char* const streets[] = {"Main Street",   "Harbour Road", "Mill Lane",   "Station Road",
                               "Church Street", "Park Avenue",  "King Street", "Market Square",
                               "Rose Lane",     "Bridge Street"};
struct city {
  const char* name;
  const char* zip;
  const char* country;
  const char* phone;
};
const city cities[] = {
    {"Hamburg", "20095", "DE", "+49 40"},   {"Lyon", "69001", "FR", "+33 4"},
    {"Turin", "10121", "IT", "+39 011"},    {"Leeds", "LS1 4AP", "GB", "+44 113"},
    {"Porto", "4000-322", "PT", "+351 22"}, {"Aarhus", "8000", "DK", "+45 86"},
    {"Gdansk", "80-001", "PL", "+48 58"},   {"Ghent", "9000", "BE", "+32 9"},
    {"Graz", "8010", "AT", "+43 316"}};
const char* const notes[] = {"Prefers delivery before noon.", "Invoice by e-mail only.",
                             "Call before shipping.",         "Key account since 2019.",
                             "Gate code 4711, ring twice.",   "Credit limit under review.",
                             "Ships to the rear entrance.",   "Pays by direct debit."};
const char* const statuses[] = {"OPEN", "PICKED", "SHIPPED", "INVOICED", "CLOSED", "CANCELED"};
const char* const carriers[] = {"DHL", "UPS", "POSTNL", "GLS", "DPD", "FEDEX"};
const char* const materials[] = {"Steel", "Brass", "Oak", "Nylon", "Copper", "Aluminium"};
const char* const products[] = {"hex bolt",   "hinge",       "shelf bracket", "cable tie",
                                "pipe clamp", "door handle", "wall plug",     "washer"};
const char* const depts[] = {"SALES", "WAREHOUSE", "FINANCE", "IT", "HR", "PURCHASING"};
const char* const titles[] = {"Clerk",      "Team Lead", "Analyst", "Driver",
                              "Accountant", "Developer", "Buyer",   "Manager"};

// Writes text into a field, cut to the field's size (the rest stays blank).
void put_text(std::string& rec, size_t off, size_t width, const char* s) {
  size_t n = std::strlen(s);
  std::memcpy(&rec[off], s, n < width ? n : width);
}

void put_int(std::string& rec, size_t off, size_t width, uint32_t v) {
  if (width == 2) {
    uint16_t s = static_cast<uint16_t>(v);
    std::memcpy(&rec[off], &s, 2);
  } else {
    std::memcpy(&rec[off], &v, 4);
  }
}

// yyyy-mm-dd of a time in seconds since 1970 (UTC).
void format_date(uint32_t t, char* out, bool month_only) {
  int64_t z = t / 86400 + 719468;
  int64_t era = z / 146097, doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100), mp = (5 * doy + 2) / 153;
  unsigned d = static_cast<unsigned>(doy - (153 * mp + 2) / 5 + 1) % 100;
  unsigned m = static_cast<unsigned>(mp < 10 ? mp + 3 : mp - 9) % 100;
  unsigned y = static_cast<unsigned>(yoe + era * 400 + (m <= 2)) % 10000;
  if (month_only)
    std::snprintf(out, 16, "%04u-%02u", y, m);
  else
    std::snprintf(out, 16, "%04u-%02u-%02u", y, m, d);
}

// Who a row is about stays the same for the row's life: its name, e-mail
// and city follow from the seed, the set and the record number.
struct identity {
  const char* first;
  const char* last;
  const city* c;
};

identity identity_of(uint64_t salt, uint32_t node, uint32_t recno) {
  rng id(salt * 0x9e3779b97f4a7c15ull ^ (static_cast<uint64_t>(node) << 32 | recno));
  return {id.pick(first_names), id.pick(last_names), &id.pick(cities)};
}

bool is_identity(field_kind k) {
  return k == F_ID || k == F_NAME || k == F_EMAIL || k == F_CITY || k == F_ZIP || k == F_COUNTRY ||
         k == F_IBAN;
}

void fill_field(std::string& rec, size_t off, const field& f, uint32_t recno, uint32_t now, rng& r,
                const identity& who) {
  char buf[96];
  const city& c = *who.c;
  switch (f.kind) {
    case F_ID: return put_int(rec, off, f.size, 100000 + recno);
    case F_CUSTOMER: return put_int(rec, off, f.size, 100000 + r.range(1, 400));
    case F_MONEY: return put_int(rec, off, f.size, r.range(199, 250000));
    case F_QTY: return put_int(rec, off, f.size, r.range(1, 48));
    case F_STOCK: return put_int(rec, off, f.size, r.range(0, 5000));
    case F_NAME: std::snprintf(buf, sizeof buf, "%s %s", who.first, who.last); break;
    case F_STREET: std::snprintf(buf, sizeof buf, "%u %s", r.range(1, 180), r.pick(streets)); break;
    case F_CITY: std::snprintf(buf, sizeof buf, "%s", c.name); break;
    case F_ZIP: std::snprintf(buf, sizeof buf, "%s", c.zip); break;
    case F_COUNTRY: std::snprintf(buf, sizeof buf, "%s", c.country); break;
    case F_PHONE:
      std::snprintf(buf, sizeof buf, "%s %07u", c.phone, r.range(1000000, 9999999));
      break;
    case F_EMAIL: {
      std::snprintf(buf, sizeof buf, "%s.%s@example.com", who.first, who.last);
      for (char* p = buf; *p; ++p)
        if (*p >= 'A' && *p <= 'Z') *p = static_cast<char>(*p - 'A' + 'a');
      break;
    }
    case F_NOTE: std::snprintf(buf, sizeof buf, "%s %s", r.pick(notes), r.pick(notes)); break;
    case F_DATE: format_date(now, buf, false); break;
    case F_PERIOD: format_date(now, buf, true); break;
    case F_STATUS: std::snprintf(buf, sizeof buf, "%s", r.pick(statuses)); break;
    case F_CARRIER: std::snprintf(buf, sizeof buf, "%s", r.pick(carriers)); break;
    case F_SKU: std::snprintf(buf, sizeof buf, "SKU-%05u", r.range(1, 99999)); break;
    case F_PRODUCT:
      std::snprintf(buf, sizeof buf, "%s %s, %u mm, pack of %u", r.pick(materials),
                    r.pick(products), 5 * r.range(1, 40), r.range(1, 10) * 10);
      break;
    case F_DEPT: std::snprintf(buf, sizeof buf, "%s", r.pick(depts)); break;
    case F_TITLE: std::snprintf(buf, sizeof buf, "%s", r.pick(titles)); break;
    case F_IBAN:
      std::snprintf(buf, sizeof buf, "%s%02u %04u %04u %04u %04u", c.country, r.range(10, 99),
                    r.below(10000), r.below(10000), r.below(10000), r.below(10000));
      break;
  }
  put_text(rec, off, f.size, buf);
}

field X(const char* n, uint16_t size, field_kind k) { return {n, 'X', size, k}; }
field I(const char* n, uint16_t size, field_kind k) { return {n, 'I', size, k}; }

}  // namespace

uint16_t set_def::reclen() const {
  uint16_t n = 0;
  for (const field& f : fields) n = static_cast<uint16_t>(n + f.size);
  return n;
}

const std::vector<db_def>& databases() {
  static const std::vector<db_def> dbs = {{100, "shop", "Shop"}, {200, "hr", "Hr"}};
  return dbs;
}

const std::vector<set_def>& sets() {
  static const std::vector<field> customers = {
      I("CUST-NO", 4, F_ID),   X("NAME", 30, F_NAME),   X("STREET", 32, F_STREET),
      X("CITY", 20, F_CITY),   X("ZIP", 10, F_ZIP),     X("COUNTRY", 2, F_COUNTRY),
      X("PHONE", 16, F_PHONE), X("EMAIL", 40, F_EMAIL), I("BALANCE", 4, F_MONEY),
      X("NOTES", 60, F_NOTE)};
  static const std::vector<field> orders = {
      I("ORDER-NO", 4, F_ID),   I("CUST-NO", 4, F_CUSTOMER), X("ORDER-DATE", 10, F_DATE),
      X("STATUS", 8, F_STATUS), X("SKU", 12, F_SKU),         I("QTY", 2, F_QTY),
      I("AMOUNT", 4, F_MONEY),  X("SHIP-VIA", 12, F_CARRIER)};
  static const std::vector<field> products = {X("SKU", 12, F_SKU), X("DESCRIPTION", 60, F_PRODUCT),
                                              I("PRICE", 4, F_MONEY), I("STOCK", 4, F_STOCK),
                                              X("LONG-TEXT", 400, F_NOTE)};
  static const std::vector<field> employees = {
      I("EMP-NO", 4, F_ID),        X("NAME", 30, F_NAME),     X("DEPT", 12, F_DEPT),
      X("TITLE", 24, F_TITLE),     X("HIRED", 10, F_DATE),    I("SALARY", 4, F_MONEY),
      I("MANAGER", 4, F_CUSTOMER), X("ADDRESS", 64, F_STREET)};
  static const std::vector<field> payroll = {I("EMP-NO", 4, F_CUSTOMER), X("PERIOD", 7, F_PERIOD),
                                             I("GROSS", 4, F_MONEY),     I("TAX", 4, F_MONEY),
                                             I("NET", 4, F_MONEY),       X("BANK", 34, F_IBAN)};
  // node, database, name, map name, SET_ITEMS, fields, index node, index name, its map
  // name, key field, pooled notes
  static const std::vector<set_def> s = {
      {101, 0, "customers", "Customers", true, customers, 111, "cust_name", "CustName", 1, true},
      {102, 0, "orders", "Orders", true, orders, 112, "order_date", "OrderDate", 2, false},
      {103, 0, "products", "Products", false, products, 113, "prod_sku", "ProdSku", 0, false},
      {201, 1, "employees", "Employees", true, employees, 211, "emp_no", "EmpNo", 1, false},
      {202, 1, "payroll", "Payroll", false, payroll, 0, nullptr, nullptr, 0, false},
  };
  return s;
}

std::string make_record(const set_def& s, uint32_t recno, uint32_t now, rng& r, uint64_t salt) {
  const identity who = identity_of(salt, s.node, recno);
  std::string rec(s.reclen(), ' ');
  size_t off = 0;
  for (const field& f : s.fields) {
    fill_field(rec, off, f, recno, now, r, who);
    off += f.size;
  }
  return rec;
}

std::pair<uint16_t, uint16_t> change_record(const set_def& s, std::string& rec, uint32_t recno,
                                            uint32_t now, rng& r, uint64_t salt) {
  // An update changes an address, an amount, a status and the like, not
  // whom the row is about, nor its key (the first field).
  std::vector<size_t> changeable;
  for (size_t i = 1; i < s.fields.size(); ++i)
    if (!is_identity(s.fields[i].kind)) changeable.push_back(i);
  const size_t which = changeable[r.below(static_cast<uint32_t>(changeable.size()))];
  size_t off = 0;
  for (size_t i = 0; i < which; ++i) off += s.fields[i].size;
  const field& f = s.fields[which];
  if (off + f.size > rec.size()) return {0, 0};  // a row cut short by the benchmark mix
  rec.replace(off, f.size, f.size, ' ');
  fill_field(rec, off, f, recno, now, r, identity_of(salt, s.node, recno));
  return {static_cast<uint16_t>(off), f.size};
}

std::string record_key(const set_def& s, const std::string& rec) {
  size_t off = 0;
  for (int i = 0; i < s.key_field; ++i) off += s.fields[i].size;
  const field& f = s.fields[s.key_field];
  if (f.type == 'I') {
    uint32_t v = 0;
    std::memcpy(&v, rec.data() + off, 4);
    return std::to_string(v);
  }
  std::string k = rec.substr(off, f.size);
  k.erase(k.find_last_not_of(' ') + 1);
  return k;
}

const std::vector<user_def>& users() {
  static const std::vector<user_def> u = {
      {"ALICE.SALES", "ORDENTRY", "ws-07", {0}, {0, 1}},
      {"BOB.SALES", "ORDENTRY", "ws-12", {0}, {0, 1}},
      {"DAVE.STORE", "STOCKUPD", "hh-03", {0}, {2, 1}},
      {"CAROL.HR", "PAYRUN", "ws-21", {1}, {3, 4}},
      {"BATCH.OPS", "NIGHTLY", "batch", {0, 1}, {1, 4, 0}},
  };
  return u;
}

std::string memo_text(const user_def& u, rng& r) {
  char buf[160];
  switch (r.below(4)) {
    case 0:
      std::snprintf(buf, sizeof buf, "%s: order %u confirmed by %s", u.program,
                    100000 + r.range(1, 900), u.user);
      break;
    case 1:
      std::snprintf(buf, sizeof buf, "%s: price list %u.%u reloaded on %s", u.program,
                    r.range(1, 9), r.range(0, 20), u.terminal);
      break;
    case 2:
      std::snprintf(buf, sizeof buf, "%s: stock count aisle %u finished, %u corrections", u.program,
                    r.range(1, 40), r.below(12));
      break;
    default:
      std::snprintf(buf, sizeof buf, "%s: batch step %u of %u done", u.program, r.range(1, 9), 9);
      break;
  }
  return buf;
}

}  // namespace fwgen
