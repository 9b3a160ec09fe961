#pragma once
// cetl::list: a doubly linked list whose nodes come from the memory manager.
// Its iterators are checked: reading through one that points nowhere, or
// stepping past either end, throws cetl::exception instead of walking off
// into freed memory.

#include <cstdint>
#include <utility>

#include "cetl/exception.h"
#include "cetl/node_iterator.h"
#include "foundation/tl_memory.h"

namespace cetl {

template <class T>
class list {
  struct mynodetype {
    mynodetype* previous;
    mynodetype* next;
    T value;
  };

 public:
  using iterator = node_iterator<list, mynodetype, T, &mynodetype::value, false>;
  using const_iterator = node_iterator<list, mynodetype, T, &mynodetype::value, true>;

  list() = default;
  list(const list& other) { Append(other); }
  list(list&& other) noexcept { Swap(other); }
  list& operator=(const list& other) {
    if (this != &other) {
      clear();
      Append(other);
    }
    return *this;
  }
  list& operator=(list&& other) noexcept {
    if (this != &other) {
      clear();
      Swap(other);
    }
    return *this;
  }
  ~list() { clear(); }

  uint32_t size() const { return m_count; }
  bool empty() const { return m_count == 0; }

  // Both throw "the list is empty" on an empty list.
  T& front() { return NonEmpty()->value; }
  const T& front() const { return NonEmpty()->value; }
  T& back() {
    NonEmpty();
    return m_last->value;
  }
  const T& back() const {
    NonEmpty();
    return m_last->value;
  }

  void push_front(const T& value) { Link(m_first, value); }
  void push_back(const T& value) { Link(nullptr, value); }
  // Inserts before the position; end() appends.
  iterator insert(const_iterator before, const T& value) {
    Owned(before);
    return iterator(this, Link(before.m_node, value));
  }

  // Takes the first value out of the list.
  T pop_front() {
    mynodetype* node = NonEmpty();
    T value = std::move(node->value);
    Unlink(node);
    return value;
  }

  // Throws "the item specified does not exist within the list" when no node
  // holds the value.
  iterator find(const T& value) { return iterator(this, const_cast<mynodetype*>(Find(value))); }
  const_iterator find(const T& value) const { return const_iterator(this, Find(value)); }

  // Removes the node and returns the position after it.
  iterator erase(const_iterator position) {
    Owned(position);
    mynodetype* node = position.m_node;
    if (!node) throw exception(kIteratorInvalid);
    mynodetype* next = node->next;
    Unlink(node);
    return iterator(this, next);
  }

  void clear() {
    while (m_first) Unlink(m_first);
  }

  iterator begin() { return iterator(this, m_first); }
  iterator end() { return iterator(this, nullptr); }
  const_iterator begin() const { return const_iterator(this, m_first); }
  const_iterator end() const { return const_iterator(this, nullptr); }
  const_iterator cbegin() const { return begin(); }
  const_iterator cend() const { return end(); }

 private:
  template <class, class, class, auto, bool>
  friend class node_iterator;

  mynodetype* NonEmpty() const {
    if (!m_first) throw exception(kListEmpty);
    return m_first;
  }

  void Owned(const_iterator position) const {
    if (position.m_container != this) throw exception(kIteratorInvalid);
  }

  const mynodetype* Find(const T& value) const {
    for (const mynodetype* node = m_first; node; node = node->next) {
      if (node->value == value) return node;
    }
    throw exception(kListItemMissing);
  }

  // Links a new node before `before`, or at the end when it is null.
  mynodetype* Link(mynodetype* before, const T& value) {
    mynodetype* previous = before ? before->previous : m_last;
    mynodetype* node = Allocated(MEM_NEW(mynodetype, "mynodetype", previous, before, value));
    (previous ? previous->next : m_first) = node;
    (before ? before->previous : m_last) = node;
    ++m_count;
    return node;
  }

  void Unlink(mynodetype* node) {
    (node->previous ? node->previous->next : m_first) = node->next;
    (node->next ? node->next->previous : m_last) = node->previous;
    --m_count;
    MEM_DELETE(node);
  }

  void Append(const list& other) {
    for (const T& value : other) push_back(value);
  }

  void Swap(list& other) {
    std::swap(m_count, other.m_count);
    std::swap(m_first, other.m_first);
    std::swap(m_last, other.m_last);
  }

  uint32_t m_count = 0;
  mynodetype* m_first = nullptr;
  mynodetype* m_last = nullptr;
};

}  // namespace cetl
