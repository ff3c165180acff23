#include "app/ShowPreparation.h"

#include "core/BandPool.h"
#include "core/QuietThreadStart.h"
#include "driver/ShowDriver.h"
#include "platform/ptc/Error.h"

#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>

namespace {

// A checkpoint on the pipe: its frame and byte count (two 64-bit numbers), then its bytes. A
// frame of -1 ends the stream.
bool writeAll(int output, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    while (size > 0) {
        ssize_t written = ::write(output, bytes, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes += written;
        size -= std::size_t(written);
    }
    return true;
}

bool readAll(int input, void* data, std::size_t size) {
    auto* bytes = static_cast<std::uint8_t*>(data);
    while (size > 0) {
        ssize_t got = ::read(input, bytes, size);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        bytes += got;
        size -= std::size_t(got);
    }
    return true;
}

// How far the preparation lowers its priority below the window's (nice(2) steps, 19 the most).
constexpr int preparationNiceness = 10;

constexpr std::int64_t maxCheckpointBytes = std::int64_t(1) << 30;

bool send(int output, std::int64_t frame, const std::vector<std::uint8_t>& bytes) {
    std::int64_t header[2] = {frame, std::int64_t(bytes.size())};
    return writeAll(output, header, sizeof header) && writeAll(output, bytes.data(), bytes.size());
}

// The child's whole life: it leaves through _exit, so that nothing of the window's process (the
// display, the sound device, threads it does not have) is closed or joined twice.
[[noreturn]] void prepare(ShowDriver& driver, long spacing, long endFrame, const CheckpointPacking& packing,
                          int output) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    std::signal(SIGINT, SIG_IGN); // Ctrl-C is the window's to answer
    // The window's drawing threads come first: the preparation draws on one thread, in the time
    // they leave idle between frames.
    restartBandThreadsInChild(1);
    static_cast<void>(::nice(preparationNiceness)); // lowering one's priority needs no privilege
    int status = 0;
    try {
        driver.stopTracing();
        driver.keepCheckpoints(0);
        for (long frame = (driver.frameInHand() + spacing - 1) / spacing * spacing; frame < endFrame; frame += spacing) {
            driver.advanceTo(frame);
            std::vector<std::uint8_t> bytes = driver.checkpoint().bytes;
            if (!send(output, frame, packing.pack ? packing.pack(bytes) : bytes))
                _exit(1);
        }
        send(output, -1, {});
    } catch (...) {
        status = 1;
    }
    _exit(status);
}

} // namespace

ShowPreparation::ShowPreparation(ShowDriver& driver, long spacing, long endFrame, const CheckpointPacking& packing)
    : startedAt(std::chrono::steady_clock::now()) {
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0)
        throw ptc::DynamicError(std::string("cannot prepare the seeks: ") + std::strerror(errno));
    child = ::fork();
    if (child < 0) {
        ::close(pipeEnds[0]);
        ::close(pipeEnds[1]);
        throw ptc::DynamicError(std::string("cannot prepare the seeks: ") + std::strerror(errno));
    }
    if (child == 0) {
        ::close(pipeEnds[0]);
        prepare(driver, spacing, endFrame, packing, pipeEnds[1]);
    }
    ::close(pipeEnds[1]);
    QuietThreadStart quiet;
    receiver = std::thread([this, input = pipeEnds[0]] { receive(input); });
}

ShowPreparation::~ShowPreparation() {
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    receiver.join();
}

void ShowPreparation::receive(int input) {
    for (;;) {
        std::int64_t header[2];
        if (!readAll(input, header, sizeof header) || header[1] < 0 || header[1] > maxCheckpointBytes)
            break;
        if (header[0] < 0) {
            finishedAt = std::chrono::steady_clock::now();
            done = true;
            break;
        }
        Checkpoint checkpoint;
        checkpoint.nextFrame = long(header[0]);
        checkpoint.bytes.resize(std::size_t(header[1]));
        if (!readAll(input, checkpoint.bytes.data(), checkpoint.bytes.size()))
            break;
        std::lock_guard lock(mutex);
        arrived.push_back(std::move(checkpoint));
    }
    ::close(input);
}

std::vector<Checkpoint> ShowPreparation::takeArrived() {
    std::vector<Checkpoint> taken;
    std::lock_guard lock(mutex);
    taken.swap(arrived);
    return taken;
}
