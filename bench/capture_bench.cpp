// Throughput of the extractors, and what the receive worker costs when the line is idle.

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <new>
#include <random>
#include <thread>
#include <vector>

#include "capture/nmea_ring.h"
#include "capture/receive_worker.h"
#include "link/rx_ring.h"
#include "sim/data_stream.h"
#include "sim/fake_receiver.h"

namespace {

std::atomic<long> allocations{0};

// A realistic mixed stream: screens, data packets, NMEA and some garbage.
const std::vector<uint8_t>& MixedStream() {
  static const std::vector<uint8_t> stream = [] {
    std::vector<uint8_t> out;
    ReceiverModel model;
    std::mt19937 random(11);
    for (uint32_t second = 0; second < 2000; ++second) {
      AppendDataBurst(model, second, 0.05, random, out);
      uint8_t screen[161];
      RenderModelScreen(model, screen);
      uint8_t frame[kMaxFrameLength];
      int size = BuildFrame(0x82, screen, sizeof screen, frame);
      out.insert(out.end(), frame, frame + size);
    }
    return out;
  }();
  return stream;
}

void BM_PullPacket(benchmark::State& state) {
  const std::vector<uint8_t>& stream = MixedStream();
  auto ring = std::make_unique<RxRing>();
  int linkState = kNothingReceived;
  Packet packet;
  long packets = 0;
  for (auto _ : state) {
    for (size_t at = 0; at < stream.size(); at += 256) {
      int n = static_cast<int>(std::min<size_t>(256, stream.size() - at));
      PushReceived(*ring, stream.data() + at, n);
      while (PullPacket(*ring, linkState, packet) != -1) ++packets;
    }
  }
  benchmark::DoNotOptimize(packets);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * stream.size()));
}
BENCHMARK(BM_PullPacket)->Unit(benchmark::kMillisecond);

void BM_PullSentence(benchmark::State& state) {
  const std::vector<uint8_t>& stream = MixedStream();
  auto nmea = std::make_unique<NmeaRing>();
  char sentence[kSentenceBufferSize];
  long sentences = 0;
  for (auto _ : state) {
    for (size_t at = 0; at < stream.size(); at += 256) {
      int n = static_cast<int>(std::min<size_t>(256, stream.size() - at));
      PushNmea(*nmea, stream.data() + at, n);
      while (PullSentence(*nmea, sentence) == 1) ++sentences;
    }
  }
  benchmark::DoNotOptimize(sentences);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * stream.size()));
}
BENCHMARK(BM_PullSentence)->Unit(benchmark::kMillisecond);

bool IgnoreScreen(void*) {
  return true;
}

double ProcessCpuSeconds() {
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// A connected worker with nothing arriving: CPU time of the whole process over the run.
void BM_IdleWorkerCpu(benchmark::State& state) {
  FakeReceiver receiver;
  StartFakeReceiver(receiver, ReceiverScript{});
  auto link = std::make_unique<Link>();
  auto capture = std::make_unique<Capture>();
  OpenPort(link->port, FakeReceiverPath(receiver));
  ReceiveWorker worker;
  StartReceiveWorker(worker, *link, *capture, IgnoreScreen, nullptr);
  for (auto _ : state) {
    double before = ProcessCpuSeconds();
    std::this_thread::sleep_for(std::chrono::seconds(10));
    state.counters["cpu_percent"] = (ProcessCpuSeconds() - before) / 10.0 * 100.0;
    state.counters["passes"] = static_cast<double>(worker.passes);
  }
  StopReceiveWorker(worker);
}
BENCHMARK(BM_IdleWorkerCpu)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// Allocations while the worker handles 10,000 items with logging on.
void BM_WorkerAllocations(benchmark::State& state) {
  FakeReceiver receiver;
  ReceiverScript script;
  StartFakeReceiver(receiver, script);
  auto link = std::make_unique<Link>();
  auto capture = std::make_unique<Capture>();
  capture->dumpDirectory = "/tmp";
  SetLogging(capture->logging, 1);
  OpenPort(link->port, FakeReceiverPath(receiver));
  std::vector<uint8_t> items;
  ReceiverModel model;
  std::mt19937 random(5);
  for (uint32_t second = 0; second < 1000; ++second)
    AppendDataBurst(model, second, 0, random, items);
  ReceiveWorker worker;
  StartReceiveWorker(worker, *link, *capture, IgnoreScreen, nullptr);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // files opened, buffers made
  for (auto _ : state) {
    long before = allocations;
    for (size_t at = 0; at < items.size(); at += 4096) {
      int n = static_cast<int>(std::min<size_t>(4096, items.size() - at));
      SendFromReceiver(receiver, items.data() + at, n);
    }
    std::this_thread::sleep_for(std::chrono::seconds(2));
    state.counters["allocations"] = static_cast<double>(allocations - before);
  }
  StopReceiveWorker(worker);
}
BENCHMARK(BM_WorkerAllocations)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

// Counts every allocation of the process; the sender's side allocates nothing per item.
void* operator new(std::size_t size) {
  ++allocations;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}

BENCHMARK_MAIN();
