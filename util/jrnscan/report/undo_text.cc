#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "records/opcodes.h"
#include "report/record_text.h"
#include "report/undo_sink.h"
#include "scan/format.h"
#include "scan/time_text.h"

namespace jrn {

namespace {

// Where the content before came from, for the text: "from the
// after-image at ...", "deleted at ..."; empty when nothing was read.
std::string source_text(const content_origin& o) {
  switch (o.kind) {
    case content_origin::after_image:
    case content_origin::before_image: return "from " + origin_text(o);
    case content_origin::deleted: return origin_text(o);
    default: return std::string();
  }
}

// The lines "  before: ...", "  after: ..." and, when both are known,
// the ranges in which they differ.
void append_contents(const undo_record& r, size_t most, std::string& l) {
  const uint16_t cs = r.charset;
  char n[64];
  const bool both = r.before.is_known() && r.after.is_known();
  // A content with no other side to compare with is shown whole.
  auto describe = [&](const record_content& c, const std::string& from) {
    std::snprintf(n, sizeof n, "%zu bytes", c.bytes.size());
    std::string d = n;
    if (!from.empty()) d += ", " + from;
    if (!both && !c.bytes.empty()) {
      d += ": ";
      append_value(c.bytes.data(), c.bytes.size(), cs, most, d);
    }
    return d;
  };
  l += "  before: ";
  if (r.before.is_known()) {
    l += describe(r.before, source_text(r.before_origin));
  } else if (r.before.state == record_content::absent) {
    l += std::strcmp(r.before_source, "put") == 0
             ? "none (the record did not exist: the first change puts it)"
             : "none (the record did not exist: " + source_text(r.before_origin) + ")";
  } else {
    l += "unknown (" + r.before_why + ")";
  }
  l += "\n  after: ";
  if (r.after.is_known())
    l += describe(r.after, std::string());
  else if (r.after.state == record_content::absent)
    l += "none (the record does not exist)";
  else
    l += "unknown (" + (r.after_why.empty() ? std::string("the log does not tell") : r.after_why) +
         ")";
  l += '\n';
  if (both) {
    std::vector<byte_range> ranges;
    diff_bytes(r.before.bytes.data(), static_cast<uint32_t>(r.before.bytes.size()),
               r.after.bytes.data(), static_cast<uint32_t>(r.after.bytes.size()), ranges);
    for (const byte_range& g : ranges)
      append_range_line(g.offset, r.before.bytes.data() + g.offset, g.old_length,
                        r.after.bytes.data() + g.offset, g.new_length, cs, most, l);
  }
}

}  // namespace

std::string undo_sink::place_text(const undo_place& p) const {
  std::string s;
  char head[160];
  if (p.gap) {
    if (p.sequence) {
      std::snprintf(head, sizeof head, "sequence %u, %s, transaction %u, ", p.sequence,
                    format_time(p.timestamp, opt_.utc).c_str(), p.transaction_id);
      s = head;
    }
    return s + offset_in(p.offset, p.log) + ": " + p.gap;
  }
  char code[32];
  const bool known = fixrec_op_known(p.operation);
  if (!known) std::snprintf(code, sizeof code, "operation %u", p.operation);
  std::snprintf(head, sizeof head, "%s, sequence %u, %s, transaction %u, ",
                known ? fixrec_op_name(p.operation) : code, p.sequence,
                format_time(p.timestamp, opt_.utc).c_str(), p.transaction_id);
  return head + offset_in(p.offset, p.log);
}

void undo_sink::print_text(const followed& r, action a) {
  const bool verbose = opt_.detail_level >= 1;
  const size_t most = verbose ? SIZE_MAX : 48;
  std::string& l = scratch_;
  l.assign("\n");
  l += node_text(r.node_id);
  char n[160];
  std::snprintf(n, sizeof n, " record %u: ", r.recno);
  l += n;
  switch (a) {
    case action::put_back:
      std::snprintf(n, sizeof n, "put back the %zu bytes it had", r.before.bytes.size());
      l += n;
      break;
    case action::remove: l += "delete it (it did not exist)"; break;
    case action::unchanged: l += "nothing to undo (it is as it was)"; break;
    case action::cannot: l += "cannot be undone (what it was is not known)"; break;
  }
  if (r.conflict_count) {
    std::snprintf(n, sizeof n, "; %" PRIu64 " conflict%s", r.conflict_count,
                  r.conflict_count == 1 ? "" : "s");
    l += n;
  }
  l += '\n';
  if (r.changes == 1) {
    l += "  change: " + place_text(r.first) + "\n";
  } else {
    std::snprintf(n, sizeof n, "  %" PRIu64 " changes, the first: ", r.changes);
    l += n + place_text(r.first) + "\n  the last: " + place_text(r.last) + "\n";
  }
  append_contents(r, most, l);
  // The first ten conflicts, with -v all that are kept.
  const size_t shown = verbose ? r.conflicts.size() : std::min<size_t>(r.conflicts.size(), 10);
  for (size_t i = 0; i < shown; ++i)
    l += (r.conflicts[i].gap ? "  possible conflict: " : "  conflict: ") +
         place_text(r.conflicts[i]) + "\n";
  if (r.conflict_count > shown) {
    std::snprintf(n, sizeof n, "  and %" PRIu64 " more conflict%s\n", r.conflict_count - shown,
                  r.conflict_count - shown == 1 ? "" : "s");
    l += n;
  }
  out_.write(l.data(), l.size());
  if (verbose) dump_contents(out_, r.before, r.after);
}

void undo_sink::print_summary_text(const uint64_t count[4], uint64_t records,
                                   uint64_t with_conflicts) {
  std::string& l = scratch_;
  char n[200];
  if (opt_.from_txn == opt_.to_txn)
    std::snprintf(n, sizeof n, "\nUndo of transaction %u: ", opt_.from_txn);
  else if (!opt_.to_txn)
    std::snprintf(n, sizeof n, "\nUndo of the transactions from %u on: ", opt_.from_txn);
  else if (opt_.from_txn <= 1)
    std::snprintf(n, sizeof n, "\nUndo of the transactions up to %u: ", opt_.to_txn);
  else
    std::snprintf(n, sizeof n, "\nUndo of transactions %u to %u: ", opt_.from_txn, opt_.to_txn);
  l = n;
  if (records == 0) {
    l += "no change of a fixed record by ";
    l += opt_.from_txn == opt_.to_txn ? "it" : "them";
    l += " was read";
  } else {
    std::snprintf(n, sizeof n, "%" PRIu64 " record%s", records, records == 1 ? "" : "s");
    l += n;
    static const char* const what[] = {"to put back", "to delete", "unchanged",
                                       "that cannot be undone"};
    const char* sep = ": ";
    for (int i = 0; i < 4; ++i) {
      if (!count[i]) continue;
      std::snprintf(n, sizeof n, "%s%" PRIu64 " %s", sep, count[i], what[i]);
      l += n;
      sep = ", ";
    }
    std::snprintf(n, sizeof n, "; %" PRIu64 " with conflicts", with_conflicts);
    l += n;
  }
  l += '\n';
  if (table_.incomplete_count()) {
    l += "  incomplete: " + table_.incomplete();
    if (table_.incomplete_count() > 1) {
      std::snprintf(n, sizeof n, " (and %" PRIu64 " more)", table_.incomplete_count() - 1);
      l += n;
    }
    l += '\n';
  }
  if (table_.bound_reached()) {
    std::snprintf(n, sizeof n,
                  "  incomplete: %" PRIu64
                  " changes of records beyond the %u followed (--undo-records) are not in it\n",
                  table_.not_followed(), opt_.max_records);
    l += n;
  }
  out_.write(l.data(), l.size());
}

}  // namespace jrn
