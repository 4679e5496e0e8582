#include "sim/Kel7Setup.h"

namespace quarnex::sim::kel7 {

namespace {

ValueRange Choice(int count, int factory) {
    return {ValueKind::Choice, 0.0f, static_cast<float>(count - 1), static_cast<float>(factory)};
}
ValueRange Integer(float min, float max, float factory) {
    return {ValueKind::Integer, min, max, factory};
}
ValueRange Number(float min, float max, float factory) {
    return {ValueKind::Number, min, max, factory};
}

} // namespace

ValueRange NormalRange(int i) {
    // Levels: source, output configuration, hysteresis for levels 1-8 (79-102).
    if (i >= 79 && i <= 102) {
        const int level = (i - 79) / 3 + 1;
        switch ((i - 79) % 3) {
        case 0:
            return Choice(level == 1 ? 10 : 11, level == 1 ? 1 : level == 2 ? 2 : 0);
        case 1:
            return Choice(3, level == 2 ? 1 : 0);
        default:
            return Number(0.0f, 999999.0f, 1.0f);
        }
    }
    if (i >= 105 && i <= 122) // inputs: 01 tare, 02 zero
        return Choice(20, i == 105 ? 1 : i == 106 ? 6 : 0);
    if (i >= 123 && i <= 140) // outputs: 01 level 1, 02 level 2, 11 stable weight
        return Choice(22, i == 123 ? 2 : i == 124 ? 3 : i == 125 ? 14 : 0);
    switch (i) {
    case 0:
        return Choice(8, 1); // Language: English
    case 1:
        return Choice(2, 1); // Start mode: Auto
    case 2:
        return Choice(6, 1); // Display information
    case 3:
        return Choice(8, 4); // Display contrast
    case 4:
        return Choice(10, 5); // Backlight
    case 5:
        return Choice(3, 0); // Date format
    case 6:
    case 7:
    case 8:
    case 9:
        return Choice(2, 1); // keys on
    case 10:
        return Choice(2, 0); // Operator lock
    case 11:
        return Integer(0, 9999, 1234);
    case 12:
        return Choice(2, 0);
    case 13:
        return Integer(0, 9999, 4321);
    case 14:
        return Choice(23, 2); // kg
    case 15:
        return Choice(15, 6); // 0.1
    case 16:
        return Number(0.001f, 999999.0f, 1000.0f);
    case 17:
        return Choice(2, 0);
    case 18:
        return Choice(4, 1); // Standard filter
    case 19:
        return Integer(10, 10000, 400);
    case 20:
        return Number(0.0f, 9999.0f, 0.5f);
    case 21:
        return Number(0.0f, 9999.0f, 0.2f);
    case 22:
        return Number(0.0f, 10.0f, 0.5f);
    case 23:
        return Choice(2, 1);
    case 24:
        return Number(0.0f, 999999.0f, 2.0f);
    case 25:
        return Integer(0, 60, 0);
    case 26:
        return Choice(3, 1); // Unipolar overload check
    case 27:
        return Number(0.0f, 9999999.0f, 1050.0f);
    case 28:
        return Choice(3, 0);
    case 29:
        return Number(0.0f, 9999.0f, 0.5f);
    case 30:
        return Choice(3, 0);
    case 31:
        return Choice(3, 0);
    case 32:
        return Choice(4, 1); // Deadweight calibration
    case 33:
        return Number(0.000001f, 1000000.0f, 1.0f);
    case 34:
        return Integer(1, 4, 1);
    case 35:
        return Number(0.001f, 999999.0f, 1000.0f);
    case 36:
    case 37:
    case 38:
    case 39:
        return Number(0.01f, 10.0f, 2.0f);
    case 40:
        return Integer(2, 6, 2);
    case 41:
        return Number(-999999.0f, 999999.0f, 0.0f);
    case 42:
        return Number(-999999.0f, 999999.0f, 1000.0f);
    case 43:
    case 44:
    case 45:
    case 46:
        return Number(-999999.0f, 999999.0f, 0.0f);
    case 47:
        return Number(-10.0f, 10.0f, 0.1f);
    case 48:
        return Number(-10.0f, 10.0f, 2.1f);
    case 49:
    case 50:
    case 51:
    case 52:
        return Number(-10.0f, 10.0f, 0.0f);
    case 53:
        return Number(0.0f, 999999.0f, 500.0f);
    case 54:
        return Number(-10.0f, 10.0f, 1.0f);
    case 55:
        return Number(-999999.0f, 999999.0f, 0.0f);
    case 56:
        return Number(-999999.0f, 999999.0f, 0.0f);
    case 57:
        return Integer(1, 247, 1);
    case 58:
        return Choice(7, 1); // COM1 Modbus
    case 59:
        return Choice(10, 5); // 9600
    case 60:
        return Choice(9, 6); // 8-none-2
    case 61:
        return Choice(8, 0);
    case 62:
        return Choice(12, 5);
    case 63:
        return Choice(9, 6);
    case 64:
        return Choice(7, 0);
    case 65:
        return Choice(10, 5);
    case 66:
        return Choice(9, 6);
    case 67:
        return Choice(4, 0);
    case 68:
        return Choice(7, 0);
    case 69:
        return Choice(10, 5);
    case 70:
        return Choice(9, 6);
    case 71:
        return Choice(4, 1);
    case 72:
        return Choice(5, 2);
    case 73:
        return Choice(6, 1);
    case 74:
        return Choice(6, 1);
    case 75:
        return Choice(6, 2);
    case 76:
    case 77:
        return Choice(6, 0);
    case 78:
        return Choice(11, 3);
    case 103:
    case 104:
        return Choice(10, 1);
    case 141:
        return Choice(6, 1); // output 1: gross weight
    case 142:
        return Choice(7, 3); // 4-20 mA
    case 143:
        return Number(-999999.0f, 999999.0f, 0.0f);
    case 144:
        return Number(-999999.0f, 999999.0f, 1000.0f);
    case 145:
    case 146:
        return Integer(-30000, 30000, 0);
    case 147:
        return Choice(10, 0);
    case 148:
        return Choice(6, 0);
    case 149:
        return Choice(7, 3);
    case 150:
        return Number(-999999.0f, 999999.0f, 0.0f);
    case 151:
        return Number(-999999.0f, 999999.0f, 1000.0f);
    case 152:
    case 153:
        return Integer(-30000, 30000, 0);
    case 154:
        return Choice(10, 0);
    case 155:
        return Choice(2, 1);
    case 156:
        return Choice(15, 6);
    case 157:
        return Choice(6, 1);
    case 158:
        return Number(0.1f, 60.0f, 2.0f);
    default:
        return Number(-9999999.0f, 9999999.0f, 0.0f); // reserved
    }
}

ValueRange BatchGeneralRange(int i) {
    switch (i) {
    case 0:
        return Choice(2, 1);
    case 1:
        return Choice(4, 2);
    case 2:
        return Choice(5, 1);
    case 3:
        return Choice(3, 0);
    default:
        return Choice(2, 1);
    }
}

ValueRange ActivityRange(int j) {
    switch (j) {
    case 0:
        return Choice(11, 0);
    case 1:
        return Choice(2, 0);
    case 2:
    case 3:
    case 4:
    case 15:
        return Choice(34, 0);
    case 5:
        return Choice(2, 0);
    case 6:
        return Number(0.0f, 999999.0f, 0.0f);
    case 7:
    case 8:
        return Number(0.0f, 100.0f, 0.0f);
    case 9:
        return Integer(0, 100, 0);
    case 10:
        return Number(0.0f, 999999.0f, 0.0f);
    case 11:
    case 12:
        return Number(0.0f, 9999.9f, 0.0f);
    case 13:
        return Integer(0, 9999, 0);
    case 14:
        return Choice(6, 0);
    case 16:
    case 17:
        return Number(-999999.0f, 999999.0f, 0.0f);
    case 18:
    case 19:
    case 20:
        return Choice(2, 0);
    case 21:
        return Choice(2, 0);
    case 22:
        return Choice(4, 0);
    case 23:
        return Choice(23, 0);
    default:
        return Number(0.001f, 1000.0f, 1.0f); // 24 scale factor
    }
}

} // namespace quarnex::sim::kel7
