#include "fleet/FleetWorker.h"

#include "comm/ModbusMaster.h"
#include "comm/TrafficRecorder.h"
#include "fleet/QuietPrompter.h"
#include "instrument/InstrumentType.h"
#include "instrument/Registers.h"
#include "offline/SetupCompare.h"
#include "platform/Clock.h"
#include "platform/Progress.h"
#include "res/OfflineTextIds.h"
#include "res/Strings.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

namespace quarnex {

namespace {

class QuietProgress : public Progress {
public:
    explicit QuietProgress(const std::function<bool()>& stop) : stop_(stop) {}
    void SetRange(int, int) override {}
    void SetPos(int) override {}
    void SetText(const std::string&) override {}
    bool CancelAsked() const override { return stop_ && stop_(); }

private:
    const std::function<bool()>& stop_;
};

// Whether an instrument answered anything at all: silence on every attempt is an instrument
// that is not there; a broken answer is one that is there and cannot be read.
class AnswerWatch : public TrafficObserver {
public:
    void OnAttempt(const TrafficRecord& record) override {
        // Bytes that came back count even when the master could make no answer of them (a
        // gateway passing on line noise): an instrument that babbles is not gone.
        if (record.status != CommStatus::NoResponse ||
            ((!record.answer.empty() || record.firstAnswerNs >= 0) &&
             !GatewaySilence(record.answer)))
            heard_ = true;
    }
    void Reset() { heard_ = false; }
    // A Modbus TCP gateway's exception 0x0A or 0x0B: it asked the address and nobody answered,
    // which is the silence of a serial line (an instrument taken away is gone, not unreadable).
    static bool GatewaySilence(const std::vector<uint8_t>& answer) {
        return answer.size() >= 3 && (answer[1] & 0x80) != 0 &&
               (answer[2] == modbus::kGatewayPathUnavailable ||
                answer[2] == modbus::kGatewayTargetFailed);
    }
    bool Heard() const { return heard_; }

private:
    bool heard_ = false;
};

// A search's question to one address: its type register, on the short time-out of a poll, once
// and then retries more times while it stays silent.
CommStatus ProbeType(ModbusMaster& master, int address, int retries, InstrumentType& type) {
    CommStatus status = CommStatus::NoResponse;
    for (int attempt = 0; attempt <= retries; ++attempt) {
        uint16_t code = 0;
        status = master.ReadHoldingRegisters(address, reg::kTypeCode, 1, &code,
                                             {.retries = 0, .extraTimeout = master.PollTimeout()});
        if (status == CommStatus::Ok) {
            type = InstrumentTypeFromCode(code);
            return status;
        }
        if (status != CommStatus::NoResponse)
            return status;
    }
    return status;
}

void ReadAddress(ModbusMaster& master, const FleetLink& link, int retries, int address,
                 QuietPrompter& prompter, Progress& progress, AnswerWatch& watch,
                 InstrumentReading& r) {
    r.address = address;
    watch.Reset();
    prompter.Take();
    const auto failed = [&] {
        r.outcome = watch.Heard() ? InstrumentReading::Outcome::Unreadable
                                  : InstrumentReading::Outcome::Silent;
        r.problem = prompter.Take();
        // The compare's heading says nothing here: the reason after it does.
        const std::string heading = Text(ids::kDiffReadFailed) + " ";
        if (r.problem.rfind(heading, 0) == 0)
            r.problem.erase(0, heading.size());
    };
    if (link.search) {
        // A search asks every address for its type first; most of them stay silent.
        InstrumentType type = itype::kUnknown;
        const CommStatus s = ProbeType(master, address, retries, type);
        if (s != CommStatus::Ok) {
            r.outcome = s == CommStatus::NoResponse ? InstrumentReading::Outcome::Silent
                                                    : InstrumentReading::Outcome::Unreadable;
            r.problem = ModbusMaster::StatusText(s, false);
            return;
        }
        if (type != itype::kKel7) {
            r.outcome = InstrumentReading::Outcome::NotKel7;
            r.problem = InstrumentTypeName(type);
            return;
        }
    }
    auto image = std::make_shared<SetupFileImage>();
    if (!ReadInstrumentImage(master, address, prompter, progress, *image)) {
        failed();
        // Another model at a listed address answers but has no set-up to read: listed as what it
        // is, not a failure of every run. A KEL 7 that cannot be read stays one.
        InstrumentType type = itype::kUnknown;
        if (r.outcome == InstrumentReading::Outcome::Unreadable && !link.search &&
            ProbeType(master, address, retries, type) == CommStatus::Ok && type != itype::kKel7) {
            r.outcome = InstrumentReading::Outcome::NotKel7;
            r.problem = InstrumentTypeName(type);
        }
        return;
    }
    r.outcome = InstrumentReading::Outcome::Read;
    r.serial = FormatSerialNumber(image->setup.Info().serialNumber);
    r.image = std::move(image);
}

} // namespace

LinkReading ReadFleetLink(const FleetLink& link, int retries, const std::function<bool()>& stop) {
    const int64_t start = MonotonicMs();
    LinkReading reading;
    reading.link = link.name;
    QuietPrompter prompter;
    ModbusMaster master(FleetLinkSettings(link), prompter);
    if (!master.Open()) {
        reading.problem = prompter.Take();
        reading.seconds = static_cast<double>(MonotonicMs() - start) / 1000.0;
        return reading;
    }
    reading.opened = true;
    AnswerWatch watch;
    master.SetTrafficObserver(&watch);
    QuietProgress progress(stop);
    for (int address : link.addresses) {
        if (stop && stop())
            break;
        InstrumentReading r;
        ReadAddress(master, link, retries, address, prompter, progress, watch, r);
        // A search reports the instruments it found, not the silent rest of the bus.
        if (!link.search || r.outcome != InstrumentReading::Outcome::Silent)
            reading.instruments.push_back(std::move(r));
    }
    master.SetTrafficObserver(nullptr);
    reading.seconds = static_cast<double>(MonotonicMs() - start) / 1000.0;
    return reading;
}

std::vector<LinkReading> ReadFleet(const std::vector<FleetLink>& links, int retries,
                                   const std::function<bool()>& stop, int jobs) {
    return RunFleetLinks(links, jobs,
                         [&](const FleetLink& link) { return ReadFleetLink(link, retries, stop); });
}

std::vector<LinkReading> RunFleetLinks(const std::vector<FleetLink>& links, int jobs,
                                       const std::function<LinkReading(const FleetLink&)>& read) {
    std::vector<LinkReading> readings(links.size());
    jobs = std::max(1, jobs);
    std::mutex mutex;
    std::condition_variable ended;
    int running = 0;
    std::vector<std::thread> workers;
    workers.reserve(links.size());
    // Each worker writes only its own slot; the slots are read once every worker has ended.
    for (size_t i = 0; i < links.size(); ++i) {
        std::unique_lock<std::mutex> lock(mutex);
        ended.wait(lock, [&] { return running < jobs; });
        for (;;) {
            ++running;
            try {
                workers.emplace_back([&, i] {
                    LinkReading reading = read(links[i]);
                    const std::lock_guard<std::mutex> done(mutex);
                    readings[i] = std::move(reading);
                    --running;
                    ended.notify_all();
                });
                break;
            } catch (const std::system_error& e) {
                --running;
                // A process limit lower than the bound: wait for a running link to end and try
                // again; with none running the link cannot be read.
                if (running == 0) {
                    readings[i].link = links[i].name;
                    readings[i].problem =
                        std::string("cannot start a thread to read it: ") + e.what();
                    break;
                }
                const int before = running;
                ended.wait(lock, [&] { return running < before; });
            }
        }
    }
    for (std::thread& worker : workers)
        worker.join();
    return readings;
}

} // namespace quarnex
