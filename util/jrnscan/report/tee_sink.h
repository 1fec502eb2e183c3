// Two back-ends fed by one scan: the report and the page saver of --save.
// Every call goes to both, the first one first; the lines of shown tags
// go only to those that want them.
#pragma once

#include <memory>

#include "report/relay_sink.h"

namespace jrn {

class tee_sink : public relay_sink {
 public:
  tee_sink(std::unique_ptr<report_sink> first, std::unique_ptr<report_sink> second);

 protected:
  bool passes(int which, relay kind) const override {
    return kind != relay::lines || (which == 0 ? lines_a_ : lines_b_);
  }

 private:
  bool lines_a_, lines_b_;
};

}  // namespace jrn
