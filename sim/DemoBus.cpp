#include "sim/DemoBus.h"

#include "sim/FamilyModel.h"
#include "sim/Kel7Model.h"
#include "sim/Kel7Registers.h"

namespace quarnex::sim {

namespace {

// A KEL 7 as it sits on a live bus: its own clock runs, its hopper fills and empties, and it goes
// through start-up and warm-up when the bus comes up.
Kel7Options LiveKel7(int address) {
    Kel7Options options;
    options.address = address;
    options.serialNumber = 2260000u + static_cast<uint32_t>(address) * 137u;
    options.clock = Kel7Clock::Bus;
    options.demoLoad = true;
    options.startUp = true;
    options.startUpMs = 1500;
    options.warmUpMs = 2500;
    options.restartMs = 1500;
    options.measureMs = 2500;
    options.eraseMs = 800;
    options.saveMs = 300;
    options.name = "Hopper " + std::to_string(address);
    return options;
}

} // namespace

std::vector<std::string> InstrumentKinds() {
    return {"kel7",           "kel7-wait", "kel7-1300", "kel7-1311", "kel7-160", "kel7-nobatch",
            "kel7-nospecial", "pir7",      "jov7",      "yax7",      "flin7",    "zeb7",
            "husk7",          "lop7",      "vum7",      "tig7"};
}

std::shared_ptr<SlaveModel> MakeInstrumentByName(const std::string& kind, int address, bool live,
                                                 std::string& error, bool ready) {
    if (kind.rfind("kel7", 0) == 0) {
        Kel7Options options = live ? LiveKel7(address) : Kel7Options{};
        options.address = address;
        if (ready)
            options.startUp = false;
        if (kind == "kel7") {
        } else if (kind == "kel7-wait") {
            options.startByCommand = true;
        } else if (kind == "kel7-1300") {
            options.setupVersion = 1300;
        } else if (kind == "kel7-1311") {
            options.setupVersion = 1311;
        } else if (kind == "kel7-160") {
            options.normalCount = 160;
        } else if (kind == "kel7-nobatch") {
            options.batchingOption = false;
            options.flowRateOption = false;
        } else if (kind == "kel7-nospecial") {
            options.specialCount = 0;
        } else {
            error = "unknown instrument kind \"" + kind + "\"";
            return nullptr;
        }
        return MakeKel7(options);
    }
    static const std::pair<const char*, int> kCodes[] = {
        {"pir7", kel7::kCodePir7},   {"jov7", kel7::kCodeJov7}, {"yax7", kel7::kCodeYax7},
        {"flin7", kel7::kCodeFlin7}, {"zeb7", kel7::kCodeZeb7}, {"husk7", kel7::kCodeHusk7},
        {"lop7", kel7::kCodeLop7},   {"vum7", kel7::kCodeVum7}, {"tig7", kel7::kCodeTig7},
    };
    for (const auto& [name, code] : kCodes)
        if (kind == name)
            return MakeFamilyModel(code, 3300000u + static_cast<uint32_t>(address) * 11u, live);
    error = "unknown instrument kind \"" + kind + "\"";
    return nullptr;
}

std::vector<int> DemoBusAddresses() {
    return {1, 2, 3, 4, 5, 6, 7};
}

void PopulateDemoBus(SimBus& bus, bool ready) {
    std::string error;
    static const char* const kKinds[] = {"kel7", "kel7-wait", "kel7", "kel7-1300",
                                         "pir7", "yax7",      "flin7"};
    int address = 1;
    for (const char* kind : kKinds) {
        bus.Attach(address, MakeInstrumentByName(kind, address, true, error, ready));
        ++address;
    }
}

} // namespace quarnex::sim
