#pragma once
// An allocator whose value-less construction leaves trivial elements uninitialised, so that a
// vector can be sized for a whole file and then filled by one read without first writing zeros
// over every byte. resize(n) on such a vector leaves the new elements indeterminate: use
// resize(n, value) or insert when the values matter.

#include <memory>
#include <new>
#include <type_traits>
#include <utility>

template <typename T, typename Base = std::allocator<T>>
class DefaultInitAllocator : public Base {
  using Traits = std::allocator_traits<Base>;

 public:
  template <typename U>
  struct rebind {
    using other = DefaultInitAllocator<U, typename Traits::template rebind_alloc<U>>;
  };

  using Base::Base;
  DefaultInitAllocator() = default;
  template <typename U, typename B>
  DefaultInitAllocator(const DefaultInitAllocator<U, B>& other) noexcept : Base(other) {}

  template <typename U>
  void construct(U* p) noexcept(std::is_nothrow_default_constructible_v<U>) {
    ::new (static_cast<void*>(p)) U;
  }
  template <typename U, typename... Args>
  void construct(U* p, Args&&... args) {
    Traits::construct(static_cast<Base&>(*this), p, std::forward<Args>(args)...);
  }
};
