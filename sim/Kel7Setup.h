#pragma once

// The KEL 7's own description of its set-up values: which values a parameter takes and what the
// factory puts there. Used by the simulated instrument for its range checks and default set-up.

namespace quarnex::sim::kel7 {

enum class ValueKind { Choice, Integer, Number };

struct ValueRange {
    ValueKind kind = ValueKind::Number;
    float min = -9999999.0f;
    float max = 9999999.0f;
    float factory = 0.0f;
};

// Normal set-up value i (0-168; values beyond the 159 of the parameter table are reserved).
ValueRange NormalRange(int i);
// Batching: general value i (0-4) and activity parameter j (0-24).
ValueRange BatchGeneralRange(int i);
ValueRange ActivityRange(int j);

} // namespace quarnex::sim::kel7
