// The pages a record names, for the summary's table of the pages written
// most: those that its opcode's page probe (the test of -p) finds in it.
#pragma once

#include <cstdint>

#include "records/payload.h"

namespace jrn {

// The most pages one record names: a NODEPAGE's 64 entries, each with a
// page and a log page key.
constexpr uint32_t max_record_pages = 128;

// Writes to pages the distinct pages, other than 0, that a record of this
// opcode names: every page number in its payload's fields for which the
// opcode's page probe holds, except that a NODECLUSTER record (a run of up
// to 32767 pages allocated or freed together) names only the first page of
// its run. Returns their number; 0 for an opcode without a probe, or a
// payload that breaks its size rule.
uint32_t record_pages(uint8_t opcode, payload_view p, uint32_t* pages);

}  // namespace jrn
