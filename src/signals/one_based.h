#pragma once
// Arrays numbered from position 1, as every sample and spectrum array of the
// program is. Position 0 does not exist: indexing it, or past the end, trips an
// assertion in debug and sanitizer builds instead of touching a neighbour.

#include <cassert>
#include <cstddef>
#include <memory>
#include <new>
#include <span>

#include "signals/allocation_budget.h"

namespace ressona {

// A view of existing memory with 1-based positions 1..size().
template <typename T>
class OneBasedSpan {
public:
    OneBasedSpan() = default;
    explicit OneBasedSpan(std::span<T> memory) : memory_(memory) {}

    T& operator[](std::size_t position) const {
        assert(position >= 1 && position <= memory_.size());
        return memory_[position - 1];
    }
    std::size_t size() const { return memory_.size(); }
    // Zero-based raw access for tight loops and copies.
    std::span<T> raw() const { return memory_; }

private:
    std::span<T> memory_;
};

// An owning array with 1-based positions 1..size(), allocated and released
// explicitly. A failed allocation (out of memory, or refused by the budget)
// leaves it unallocated and reports false.
template <typename T>
class OneBasedArray {
public:
    bool allocate(std::size_t count, AllocationBudget& budget) {
        release();
        if (!budget.permit()) return false;
        std::unique_ptr<T[]> storage(new (std::nothrow) T[count]());  // zeroed: nothing reads garbage
        if (!storage) return false;
        storage_ = std::move(storage);
        size_ = count;
        return true;
    }
    void release() {
        storage_.reset();
        size_ = 0;
    }
    bool allocated() const { return storage_ != nullptr; }
    std::size_t size() const { return size_; }

    T& operator[](std::size_t position) {
        assert(position >= 1 && position <= size_);
        return storage_[position - 1];
    }
    const T& operator[](std::size_t position) const {
        assert(position >= 1 && position <= size_);
        return storage_[position - 1];
    }
    // Zero-based raw access for tight loops and copies.
    std::span<T> raw() { return {storage_.get(), size_}; }
    std::span<const T> raw() const { return {storage_.get(), size_}; }
    OneBasedSpan<T> view() { return OneBasedSpan<T>(raw()); }

    void fill(const T& value) {
        for (T& element : raw()) element = value;
    }

private:
    std::unique_ptr<T[]> storage_;
    std::size_t size_ = 0;
};

}  // namespace ressona
