// SPDX-License-Identifier: MIT
#pragma once
// Text that several hold and none changes: a copy shares the bytes, which
// go when the last holder lets go of them. A process's name is held so by
// the walk's record, the process table and the list: once, however long.
#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>

namespace pelmora::base {

class SharedText {
 public:
  SharedText() = default;
  // A copy of text, in one allocation; none for empty text.
  explicit SharedText(std::string_view text) : size_(text.size()) {
    if (text.empty()) return;
    std::shared_ptr<char[]> bytes = std::make_shared_for_overwrite<char[]>(text.size());
    std::memcpy(bytes.get(), text.data(), text.size());
    bytes_ = std::move(bytes);
  }

  std::string_view view() const { return {bytes_.get(), size_}; }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

  // Becomes text; keeps its bytes, and allocates nothing, when they are
  // that text already.
  void Assign(std::string_view text) {
    if (view() != text) *this = SharedText(text);
  }

  friend bool operator==(const SharedText& a, const SharedText& b) {
    return a.bytes_ == b.bytes_ ? a.size_ == b.size_ : a.view() == b.view();
  }
  friend bool operator==(const SharedText& a, std::string_view b) { return a.view() == b; }

 private:
  std::shared_ptr<const char[]> bytes_;
  std::size_t size_ = 0;
};

}  // namespace pelmora::base
