#include "report/tee_sink.h"

#include <utility>

namespace jrn {

tee_sink::tee_sink(std::unique_ptr<report_sink> first, std::unique_ptr<report_sink> second)
    : relay_sink(std::move(first), std::move(second)),
      lines_a_(first_->wants_lines()),
      lines_b_(second_->wants_lines()) {}

}  // namespace jrn
