#include "tests/rigs/parallel_sim.h"

#include <dlfcn.h>

#include <stdexcept>
#include <string>
#include <type_traits>

namespace tillvane::rigs {

namespace {

constexpr const char* kLibrary = "libDLPortIO.so";

// Calls a control of the loaded simulated library; throws when it is not loaded.
template <typename Fn, typename... Args>
auto Call(const char* name, Args... args) {
  void* handle = dlopen(kLibrary, RTLD_NOW | RTLD_NOLOAD);
  if (handle == nullptr) throw std::runtime_error("the simulated port I/O library is not loaded");
  void* symbol = dlsym(handle, name);
  if (symbol == nullptr) {
    dlclose(handle);
    throw std::runtime_error(std::string("the port I/O library has no ") + name);
  }
  if constexpr (std::is_void_v<decltype(reinterpret_cast<Fn>(symbol)(args...))>) {
    reinterpret_cast<Fn>(symbol)(args...);
    dlclose(handle);
  } else {
    auto result = reinterpret_cast<Fn>(symbol)(args...);
    dlclose(handle);
    return result;
  }
}

template <typename T>
std::vector<T> Fetch(const char* name) {
  using Fn = uint32_t (*)(T*, uint32_t);
  uint32_t count = Call<Fn>(name, static_cast<T*>(nullptr), 0u);
  std::vector<T> out(count);
  Call<Fn>(name, out.data(), count);
  return out;
}

}  // namespace

bool SimulatedParallelPrinter::Loaded() {
  void* handle = dlopen(kLibrary, RTLD_NOW | RTLD_NOLOAD);
  if (handle == nullptr) return false;
  bool sim = dlsym(handle, "DlPortSimReset") != nullptr;
  dlclose(handle);
  return sim;
}

SimulatedParallelPrinter::Hold::Hold() : handle_(dlopen(kLibrary, RTLD_NOW | RTLD_LOCAL)) {}

SimulatedParallelPrinter::Hold::~Hold() {
  if (handle_ != nullptr) dlclose(handle_);
}

void SimulatedParallelPrinter::Reset() {
  Call<void (*)()>("DlPortSimReset");
}
void SimulatedParallelPrinter::SetBase(uint16_t base) {
  Call<void (*)(uint16_t)>("DlPortSimSetBase", base);
}
void SimulatedParallelPrinter::SetRegisters(uint8_t data, uint8_t status, uint8_t control) {
  Call<void (*)(uint8_t, uint8_t, uint8_t)>("DlPortSimSetRegisters", data, status, control);
}
void SimulatedParallelPrinter::SetBusyReads(uint32_t reads) {
  Call<void (*)(uint32_t)>("DlPortSimSetBusyReads", reads);
}
void SimulatedParallelPrinter::SetBusyMs(uint32_t ms) {
  Call<void (*)(uint32_t)>("DlPortSimSetBusyMs", ms);
}
void SimulatedParallelPrinter::SetPaperEnd(bool on) {
  Call<void (*)(int)>("DlPortSimSetPaperEnd", on ? 1 : 0);
}
void SimulatedParallelPrinter::SetPaperEndAfter(uint32_t count) {
  Call<void (*)(uint32_t)>("DlPortSimSetPaperEndAfter", count);
}

std::vector<uint8_t> SimulatedParallelPrinter::Printed() {
  return Fetch<uint8_t>("DlPortSimPrinted");
}
uint32_t SimulatedParallelPrinter::RegisterReads() {
  return Call<uint32_t (*)()>("DlPortSimRegisterReads");
}
std::vector<uint8_t> SimulatedParallelPrinter::ControlWrites() {
  return Fetch<uint8_t>("DlPortSimControlWrites");
}
std::vector<PortAccess> SimulatedParallelPrinter::Accesses() {
  std::vector<PortAccess> out;
  for (uint32_t e : Fetch<uint32_t>("DlPortSimAccessLog")) {
    out.push_back(PortAccess{(e >> 24) == 1, static_cast<uint16_t>((e >> 8) & 0xFFFF),
                             static_cast<uint8_t>(e & 0xFF)});
  }
  return out;
}
uint32_t SimulatedParallelPrinter::LowAccesses() {
  return Call<uint32_t (*)()>("DlPortSimLowAccesses");
}
uint32_t SimulatedParallelPrinter::IgnoredStrobes() {
  return Call<uint32_t (*)()>("DlPortSimIgnoredStrobes");
}

}  // namespace tillvane::rigs
