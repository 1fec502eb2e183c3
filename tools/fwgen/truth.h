// What the generator knows of the records it changes, written as JSON Lines
// for tests that compare a reader's view of a log with the records' real
// lives: the content of each record after every change, whether a reader of
// the log from its first byte can know that content, the before-images, and
// what each transaction did to each record.
//
//   {"type":"existing","node_id":N,"recno":R,"content":HEX}
//       a record that exists before the first log (its content is not in it)
//   {"type":"change","node_id":N,"recno":R,"sequence":S,"timestamp":T,
//    "offset":O,"file_sequence":F,"transaction_id":X,"session_id":Y,
//    "fixrec_op":"UPDATE","content":HEX|null[,"unknown":true]}
//       a FIXREC change at input offset O; content is the record's content
//       after it (null: it no longer exists); "unknown" when the log does not
//       tell it (no data, or a range patch of a content it does not tell)
//   {"type":"before_image","node_id":N,"recno":R,"sequence":S,"timestamp":T,
//    "offset":O,"file_sequence":F,"transaction_id":X,"session_id":Y,
//    "content":HEX}
//   {"type":"transaction","transaction_id":X,"session_id":Y,"records":[
//    {"node_id":N,"recno":R,"before":HEX|null,"after":HEX|null
//     [,"before_unknown":true][,"after_unknown":true]}, ...]}
//       at the transaction's end: each record it changed, in the order of
//       its first change, before the first and after the last change
//   {"type":"dropped","file_sequence":F,"records":[{"node_id":N,"recno":R},...]}
//       the log of file sequence F is not written (--drop): the records
//       listed changed in it; its changes, before-images and transactions
//       ended in it have no lines, and from it on a reader knows no record's
//       content until a change or before-image tells it again (the "unknown"
//       and "before_unknown" marks of the lines behind it say so)
//
// With set_series every line names its series second, behind its type:
// "volume_set":V,"generation":G (several series in one file).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

namespace fwgen {

// Where a tag of the log is.
struct tag_place {
  uint32_t sequence, timestamp;
  uint64_t offset;  // input offset of the tag's first byte
  int32_t file_sequence;
};

class truth {
 public:
  // Takes the lines in pieces; returns false when it cannot write.
  using sink = std::function<bool(const std::string&)>;
  // nodes: the sets whose records are followed; empty: all.
  truth(sink out, std::vector<uint32_t> nodes);

  bool follows(uint32_t node) const;
  void existing(uint32_t node, uint32_t recno, const std::string& content);
  // A FIXREC change; before and after are null where the record does not
  // exist.
  void change(const tag_place& at, uint32_t node, uint32_t recno, uint8_t op, uint32_t txn,
              uint32_t session, const std::string* before, const std::string* after);
  void before_image(const tag_place& at, uint32_t node, uint32_t recno, uint32_t txn,
                    uint32_t session, const std::string& data);
  // The transaction's end record (or its only record) is written.
  void end(uint32_t txn);
  // Every line names the series (volume set id, volume generation).
  void set_series(uint32_t volume_set, uint32_t generation);
  // The log of file_sequence is left out of what is written.
  void drop(int32_t file_sequence) { drop_ = file_sequence; }
  // Hands the lines over at the end of each log; false when the sink
  // failed (now or before).
  bool flush();

 private:
  struct image {
    bool exists = false, known = false;
    std::string content;
  };
  struct touched {
    uint32_t node, recno;
    image before, after;
  };
  struct open_txn {
    uint32_t txn, session;
    std::vector<touched> records;
  };
  static uint64_t key(uint32_t node, uint32_t recno) { return uint64_t{node} << 32 | recno; }
  void place(const char* type, const tag_place& at, uint32_t node, uint32_t recno, uint32_t txn,
             uint32_t session);
  void content(const char* name, const image& i);
  void more();
  bool hand_over();
  // Whether the event at a place lies in the dropped log (then it is only
  // noted); past the dropped log, says what it changed, once.
  bool dropped(const tag_place& at, uint32_t node, uint32_t recno);
  void say_dropped();
  void type(const char* t);

  sink out_;
  std::vector<uint32_t> nodes_;
  // Whether a reader can know each followed record's content (absent:
  // the record has not been seen, so neither exists nor is known).
  std::unordered_map<uint64_t, bool> known_;
  std::vector<open_txn> open_;  // a transaction or two at a time
  std::string series_;          // ,"volume_set":V,"generation":G or nothing
  int32_t drop_ = 0;
  bool in_drop_ = false, drop_said_ = false;
  std::vector<uint64_t> drop_records_;  // changed in the dropped log, in order met
  std::string buf_;
  bool ok_ = true;
};

}  // namespace fwgen
