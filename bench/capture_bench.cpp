// SPDX-License-Identifier: BSD-2-Clause
// Throughput of the extractors, and what the receive worker costs when the line is idle.

#include <benchmark/benchmark.h>
#include <pthread.h>
#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "capture/dump_io.h"
#include "capture/nmea_ring.h"
#include "capture/receive_worker.h"
#include "fix/fix_state.h"
#include "link/rx_ring.h"
#include "recorder/recording.h"
#include "sim/data_stream.h"
#include "sim/fake_receiver.h"
#include "tests/scratch_dir.h"

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

// The fix parser over the valid sentences of the mixed stream, already cut out.
void BM_ApplySentence(benchmark::State& state) {
  static const std::vector<std::string> sentences = [] {
    std::vector<std::string> out;
    const std::vector<uint8_t>& stream = MixedStream();
    auto nmea = std::make_unique<NmeaRing>();
    char sentence[kSentenceBufferSize];
    for (size_t at = 0; at < stream.size(); at += 256) {
      PushNmea(*nmea, stream.data() + at,
               static_cast<int>(std::min<size_t>(256, stream.size() - at)));
      while (PullSentence(*nmea, sentence) == 1) out.emplace_back(sentence);
    }
    return out;
  }();
  auto fix = std::make_unique<FixState>();
  size_t bytes = 0;
  for (const std::string& sentence : sentences) bytes += sentence.size();
  uint32_t now = 0;
  for (auto _ : state) {
    for (const std::string& sentence : sentences) ApplySentence(*fix, sentence.c_str(), ++now);
  }
  benchmark::DoNotOptimize(fix->sentences);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_ApplySentence)->Unit(benchmark::kMillisecond);

// Where the benchmarks' dump files and recordings go: a fresh folder, removed at exit.
const ScratchDir& BenchDir() {
  static ScratchDir dir;
  return dir;
}

bool IgnoreScreen(void*) {
  return true;
}

// A worker reading a simulated receiver's line, as a connected panel has it.
struct ConnectedWorker {
  FakeReceiver receiver;
  std::unique_ptr<Link> link = std::make_unique<Link>();
  std::unique_ptr<Capture> capture = std::make_unique<Capture>();
  ReceiveWorker worker;

  explicit ConnectedWorker(bool logging, bool (*notify)(void*) = IgnoreScreen,
                           void* context = nullptr) {
    StartFakeReceiver(receiver, ReceiverScript{});
    SetDumpDirectory(*capture, BenchDir().Str());
    SetLogging(capture->logging, logging ? 1 : 0);
    OpenPort(link->port, FakeReceiverPath(receiver));
    WorkerHooks hooks;
    hooks.context = context;
    hooks.screen = notify;
    StartReceiveWorker(worker, *link, *capture, hooks);
  }
  ~ConnectedWorker() { StopReceiveWorker(worker); }
};

double ProcessCpuSeconds() {
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// A connected worker with nothing arriving: CPU time of the whole process over the run.
void BM_IdleWorkerCpu(benchmark::State& state) {
  ConnectedWorker connected(false);
  for (auto _ : state) {
    double before = ProcessCpuSeconds();
    std::this_thread::sleep_for(std::chrono::seconds(10));
    state.counters["cpu_percent"] = (ProcessCpuSeconds() - before) / 10.0 * 100.0;
    state.counters["passes"] = static_cast<double>(connected.worker.passes);
  }
}
BENCHMARK(BM_IdleWorkerCpu)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// Allocations while the worker handles 10,000 items with logging on.
void BM_WorkerAllocations(benchmark::State& state) {
  ConnectedWorker connected(true);
  std::vector<uint8_t> items;
  ReceiverModel model;
  std::mt19937 random(5);
  for (uint32_t second = 0; second < 1000; ++second)
    AppendDataBurst(model, second, 0, random, items);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // files opened, buffers made
  for (auto _ : state) {
    long before = allocations;
    for (size_t at = 0; at < items.size(); at += 4096) {
      int n = static_cast<int>(std::min<size_t>(4096, items.size() - at));
      SendFromReceiver(connected.receiver, items.data() + at, n);
    }
    std::this_thread::sleep_for(std::chrono::seconds(2));
    state.counters["allocations"] = static_cast<double>(allocations - before);
  }
}
BENCHMARK(BM_WorkerAllocations)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

struct LatencyProbe {
  std::atomic<int> screens{0};
  std::atomic<int64_t> lastAt{0};
};

int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

bool NoteScreen(void* context) {
  auto* probe = static_cast<LatencyProbe*>(context);
  probe->lastAt = NowNs();
  ++probe->screens;
  return true;
}

// From the write of a screen packet's last byte to the worker's notification.
void BM_ScreenHandOnLatency(benchmark::State& state) {
  LatencyProbe probe;
  ConnectedWorker connected(false, NoteScreen, &probe);
  uint8_t screen[161] = {};
  std::vector<double> latencies;
  for (auto _ : state) {
    latencies.clear();
    for (int i = 0; i < 1000; ++i) {
      int before = probe.screens;
      int64_t sentAt = NowNs();
      SendFrameFromReceiver(connected.receiver, 0x82, screen, sizeof screen);
      while (probe.screens == before) std::this_thread::yield();
      latencies.push_back(static_cast<double>(probe.lastAt - sentAt) / 1e6);
    }
  }
  StopReceiveWorker(connected.worker);
  std::sort(latencies.begin(), latencies.end());
  state.counters["p50_ms"] = latencies[latencies.size() / 2];
  state.counters["p99_ms"] = latencies[latencies.size() * 99 / 100];
  // The packet's own time on the wire, 10 bits a byte: its physical floor.
  for (int baud : {9600, 38400, 115200}) {
    state.counters["wire_ms_" + std::to_string(baud)] = (161 + 6) * 10.0 * 1000.0 / baud;
  }
}
BENCHMARK(BM_ScreenHandOnLatency)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

double ThreadCpuSeconds(std::thread& thread) {
  clockid_t clock;
  struct timespec used = {};
  if (pthread_getcpuclockid(thread.native_handle(), &clock) == 0) clock_gettime(clock, &used);
  return static_cast<double>(used.tv_sec) + used.tv_nsec / 1e9;
}

// A full 115200-baud stream of mixed data with logging on: the worker's own CPU time,
// without (0) and with (1) the session recorded; the recording is written out every
// 200 ms by this thread, as the panel's timer does.
void BM_WorkerCpuAt115200(benchmark::State& state) {
  ConnectedWorker connected(true);
  auto recorder = std::make_unique<Recorder>();
  const bool recording = state.range(0) == 1;
  if (recording && StartRecording(*recorder, (BenchDir() / "bench.rec").c_str())) {
    connected.link->port.recorder = recorder.get();
  }
  std::vector<uint8_t> stream;
  ReceiverModel model;
  std::mt19937 random(2);
  for (uint32_t second = 0; stream.size() < 11520 * 10; ++second) {
    AppendDataBurst(model, second, 0.02, random, stream);
  }
  for (auto _ : state) {
    double before = ThreadCpuSeconds(connected.worker.thread);
    // 11520 bytes a second, in 10 ms slices, as the line would deliver them.
    for (size_t at = 0, slice = 0; at < 11520 * 10; at += 115, ++slice) {
      SendFromReceiver(connected.receiver, stream.data() + at, 115);
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      if (recording && slice % 20 == 0) DrainRecording(*recorder);
    }
    state.counters["worker_cpu_percent"] =
        (ThreadCpuSeconds(connected.worker.thread) - before) / 10.0 * 100;
  }
  connected.link->port.recorder = nullptr;
  StopReceiveWorker(connected.worker);
  if (recording) {
    StopRecording(*recorder);
    std::remove((BenchDir() / "bench.rec").c_str());
  }
}
BENCHMARK(BM_WorkerCpuAt115200)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

// What recording adds to each read of the worker: one event of 115 bytes (10 ms of a
// 115200-baud line), appended under the recorder's lock.
void BM_RecordRead(benchmark::State& state) {
  auto recorder = std::make_unique<Recorder>();
  StartRecording(*recorder, (BenchDir() / "bench.rec").c_str());
  const std::vector<uint8_t>& stream = MixedStream();
  size_t at = 0;
  long events = 0;
  for (auto _ : state) {
    RecordBytes(*recorder, kRecordReceived, stream.data() + at, 115);
    at = at + 230 < stream.size() ? at + 115 : 0;
    if (++events % 8000 == 0) {  // before the buffer fills; the owner's work, not timed
      state.PauseTiming();
      DrainRecording(*recorder);
      state.ResumeTiming();
    }
  }
  StopRecording(*recorder);
  std::remove((BenchDir() / "bench.rec").c_str());
  // 100 reads a second at 115200 baud: seconds per event x 100 x 100 is the share of one
  // core, in percent, that recording adds.
  state.counters["cpu_percent_at_115200"] = benchmark::Counter(
      1e-4, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_RecordRead);

double ThisThreadCpuSeconds() {
  struct timespec used = {};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &used);
  return static_cast<double>(used.tv_sec) + used.tv_nsec / 1e9;
}

// The dump files go to the disk once a second: what one second of a full 115200-baud
// line (11,520 bytes) costs to hand over, in CPU time of the writing thread, as a share
// of one core. The wall time the disk takes is the disk's, not the worker's CPU.
void BM_SyncASecondOfData(benchmark::State& state) {
  DumpFile file;
  if (OpenDumpFile(BenchDir().Str().c_str(), "sync.dmp", file) != 0) {
    state.SkipWithError("cannot open the benchmark's dump file");
    return;
  }
  const std::vector<uint8_t>& stream = MixedStream();
  double cpu = 0;
  for (auto _ : state) {
    WriteWhole(file, stream.data(), 11520);
    double before = ThisThreadCpuSeconds();
    SyncDumpFile(file);
    cpu += ThisThreadCpuSeconds() - before;
  }
  CloseDumpFile(file);
  state.counters["cpu_percent_at_115200"] =
      cpu / static_cast<double>(state.iterations()) * 100;  // one sync a second
}
BENCHMARK(BM_SyncASecondOfData)->Iterations(50)->Unit(benchmark::kMillisecond);

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
