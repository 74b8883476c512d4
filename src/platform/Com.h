// Owners for COM: the apartment of a scope, an interface pointer released
// with its owner, and memory the shell allocated with CoTaskMemAlloc.
#pragma once

#include <objbase.h>

#include <memory>
#include <utility>

namespace platform {

// CoInitializeEx for the scope; CoUninitialize at its end when it succeeded
// (also when COM was already initialised on this thread: S_FALSE counts).
class ComApartment {
 public:
  explicit ComApartment(DWORD model = COINIT_APARTMENTTHREADED) : result_(CoInitializeEx(nullptr, model)) {}
  ~ComApartment() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  HRESULT result_;
};

// An interface pointer, released by its owner.
template <class Interface>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() {
    if (p_) p_->Release();
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  Interface* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // For the out parameter of CoCreateInstance and QueryInterface; the pointer
  // must be empty.
  void** Out() { return reinterpret_cast<void**>(&p_); }

 private:
  Interface* p_ = nullptr;
};

struct CoTaskMemDeleter {
  void operator()(void* p) const noexcept { CoTaskMemFree(p); }
};

// Memory to be freed with CoTaskMemFree (an item list the shell returned …).
template <class T>
using CoTaskMem = std::unique_ptr<T, CoTaskMemDeleter>;

}  // namespace platform
