// An ordered list of texts, appended at the end and walked from the first entry.
#pragma once
#include <vector>

#include "platform.h"

class StringList {
 public:
  void append(const WideString& text) { entries_.push_back(text); }
  size_t count() const { return entries_.size(); }
  const WideString& operator[](size_t index) const { return entries_[index]; }
  std::vector<WideString>::const_iterator begin() const { return entries_.begin(); }
  std::vector<WideString>::const_iterator end() const { return entries_.end(); }

 private:
  std::vector<WideString> entries_;
};
