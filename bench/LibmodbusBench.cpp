// Quarnex's master against libmodbus, request for request: a full backup of a simulated KEL 7 is
// made once to learn its requests (the reads of set-up, batching, recipes and texts, and the
// writes that choose what the next reads see), then the same requests are sent again on the same
// paced simulator, in turns by libmodbus and by ModbusMaster, in rounds. Prints the mean time of
// a request for both, their difference next to the silence the master must leave before each
// request (the inter-frame delay of its baud rate), and where a request's time goes on Quarnex's
// side as the traffic recorder saw it: the silence before it, sending it, waiting for the answer's
// first byte, the answer's bytes, and what follows the last of them, each against its wire time.
// Usage: quarnex-bench-libmodbus [baud ...] (default 115200 9600); asserts nothing.

#include "PacedBus.h"

#include "comm/TrafficRecorder.h"
#include "files/Backup.h"
#include "platform/Clock.h"
#include "sim/Kel7Model.h"
#include "support/ScriptedProgress.h"

#include <modbus.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using namespace quarnex;

namespace {

using Frame = std::vector<uint8_t>;

// Rounds of each master: three where a round takes a second or two, one at the slow rates.
int Rounds(int baud) {
    return baud >= 38400 ? 3 : 1;
}

// The requests of a full backup, without their CRC.
bool BackupRequests(PacedBus& paced, const std::string& path, std::vector<Frame>& out) {
    paced.bus.SetRequestLogLimit(100000);
    paced.bus.ClearRequests();
    ScriptedProgress progress;
    Backup backup(*paced.master, 1, itype::kKel7, paced.prompter, progress);
    if (backup.Run(path, "bench", false) != Backup::Result::Succeeded) {
        std::fprintf(stderr, "backup failed: %s\n", paced.prompter.LastText().c_str());
        return false;
    }
    for (Frame frame : paced.bus.Requests()) {
        if (frame.size() < 4)
            continue;
        frame.resize(frame.size() - 2);
        out.push_back(std::move(frame));
    }
    return !out.empty();
}

// Seconds for all requests with libmodbus on the device; negative when it could not be opened.
// With silenceNs, libmodbus too leaves that silence before each request, from the return of the
// answer before: what is left between it and Quarnex is then the two masters' own work.
double WithLibmodbus(const std::string& device, int baud, const std::vector<Frame>& requests,
                     int64_t silenceNs, int& failed) {
    modbus_t* ctx = modbus_new_rtu(device.c_str(), baud, 'N', 8, 1);
    if (!ctx || modbus_connect(ctx) != 0) {
        std::fprintf(stderr, "libmodbus cannot open %s: %s\n", device.c_str(),
                     modbus_strerror(errno));
        if (ctx)
            modbus_free(ctx);
        return -1;
    }
    modbus_set_response_timeout(ctx, 1, 0);
    uint8_t answer[MODBUS_RTU_MAX_ADU_LENGTH];
    const int64_t t0 = MonotonicNs();
    int64_t answered = t0;
    for (const Frame& request : requests) {
        if (silenceNs > 0)
            DelayUntilNs(answered + silenceNs);
        if (modbus_send_raw_request(ctx, request.data(), static_cast<int>(request.size())) < 0 ||
            modbus_receive_confirmation(ctx, answer) < 0)
            ++failed;
        answered = MonotonicNs();
    }
    const double seconds = static_cast<double>(MonotonicNs() - t0) / 1e9;
    modbus_close(ctx);
    modbus_free(ctx);
    return seconds;
}

double WithQuarnex(ModbusMaster& master, const std::vector<Frame>& requests, int& failed) {
    Frame answer;
    const int64_t t0 = MonotonicNs();
    for (const Frame& request : requests)
        if (master.Transact(request, answer) != CommStatus::Ok)
            ++failed;
    return static_cast<double>(MonotonicNs() - t0) / 1e9;
}

// Where a request's time goes, in means over the requests in ms: as the recorder saw them.
void Breakdown(ModbusMaster& master, int baud, const std::vector<Frame>& requests,
               double quarnexMs) {
    TrafficRecorder recorder(requests.size());
    master.SetTrafficObserver(&recorder);
    int failed = 0;
    WithQuarnex(master, requests, failed);
    master.SetTrafficObserver(nullptr);
    const double charMs = 11.0 * 1000 / baud; // as the simulator paces the line
    double gap = 0, send = 0, first = 0, span = 0, after = 0, requestWire = 0, answerWire = 0;
    size_t n = 0;
    for (const TrafficRecord& r : recorder.After(0)) {
        if (r.gapNs < 0 || r.lastAnswerNs < 0 || r.requestEndNs < 0)
            continue;
        ++n;
        gap += static_cast<double>(r.gapNs) / 1e6;
        send += static_cast<double>(r.requestEndNs) / 1e6;
        first += static_cast<double>(r.firstAnswerNs - r.requestEndNs) / 1e6;
        span += static_cast<double>(r.lastAnswerNs - r.firstAnswerNs) / 1e6;
        after += static_cast<double>(r.endNs - r.lastAnswerNs) / 1e6;
        requestWire += static_cast<double>(r.request.size()) * charMs;
        answerWire += static_cast<double>(r.answer.size()) * charMs;
    }
    if (n == 0)
        return;
    const double k = 1.0 / static_cast<double>(n);
    std::printf(
        "  Quarnex per request, as its recorder saw it (mean of %zu, ms; the recorder on):\n"
        "    silence before the request %.3f (delay %d)\n"
        "    request handed over        %.3f\n"
        "    to the answer's first byte %.3f (the request's wire time %.3f + the first "
        "character %.3f)\n"
        "    the answer's other bytes   %.3f (their wire time %.3f)\n"
        "    after the last byte        %.3f\n"
        "    sum %.3f of %.3f measured without the recorder\n",
        n, gap * k, SerialLink::TimingFor(baud).interFrameDelayMs, send * k, first * k,
        requestWire * k, charMs, span * k, answerWire * k - charMs, after * k,
        (gap + send + first + span + after) * k, quarnexMs);
}

bool Bench(int baud, const std::string& path) {
    PacedBus paced;
    if (!paced.Open(baud, 1, sim::MakeKel7({})))
        return false;
    std::vector<Frame> requests;
    if (!BackupRequests(paced, path, requests))
        return false;
    // The wire time of a request and its answer, as the simulator paces them.
    const double charMs = 11.0 * 1000 / baud;
    double wireMs = 0;
    for (const Frame& r : requests)
        wireMs += static_cast<double>(r.size() + 2 + modbus::ExpectedAnswerLength(r)) * charMs;

    ModbusMaster& master = *paced.master;
    const std::string device = paced.bus.DevicePath();
    const int delay = SerialLink::TimingFor(baud).interFrameDelayMs;
    double quarnex = 0, libmodbus = 0, libmodbusSilent = 0;
    int quarnexFailed = 0, libmodbusFailed = 0;
    for (int round = 0; round < Rounds(baud); ++round) {
        // In turns, so that a change in the machine's load falls on all alike.
        master.Link().Close();
        const double l = WithLibmodbus(device, baud, requests, 0, libmodbusFailed);
        const double ls =
            WithLibmodbus(device, baud, requests, int64_t{delay} * 1'000'000, libmodbusFailed);
        if (l < 0 || ls < 0 || !master.Open())
            return false;
        libmodbus += l;
        libmodbusSilent += ls;
        quarnex += WithQuarnex(master, requests, quarnexFailed);
    }
    const double count = static_cast<double>(requests.size()) * Rounds(baud);
    const double q = quarnex * 1000 / count, l = libmodbus * 1000 / count,
                 ls = libmodbusSilent * 1000 / count;
    const double wire = wireMs / static_cast<double>(requests.size());
    std::printf("%6d baud: %zu requests of a backup, %d rounds; mean per request: Quarnex %.3f ms, "
                "libmodbus %.3f ms, wire time (no silence) %.3f ms\n"
                "  difference %.3f ms, the inter-frame delay %d ms: %+.3f ms beyond it%s\n"
                "  libmodbus leaving the same %d ms before each request: %.3f ms; Quarnex "
                "%+.3f ms to it\n",
                baud, requests.size(), Rounds(baud), q, l, wire, q - l, delay, q - l - delay,
                quarnexFailed || libmodbusFailed ? " (some requests failed)" : "", delay, ls,
                q - ls);
    if (quarnexFailed || libmodbusFailed)
        std::printf("  failed: Quarnex %d, libmodbus %d\n", quarnexFailed, libmodbusFailed);
    Breakdown(master, baud, requests, q);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<int> bauds;
    for (int i = 1; i < argc; ++i)
        bauds.push_back(std::atoi(argv[i]));
    if (bauds.empty())
        bauds = {115200, 9600};
    const auto dir = std::filesystem::temp_directory_path() / "quarnex-bench-libmodbus";
    std::filesystem::create_directories(dir);
    bool ok = true;
    for (int baud : bauds)
        ok = Bench(baud, (dir / ("kel7-" + std::to_string(baud) + ".kel")).string()) && ok;
    std::filesystem::remove_all(dir);
    return ok ? 0 : 1;
}
