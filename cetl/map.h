#pragma once
// cetl::map: an ordered map built as a skip list. Besides their skip levels
// the nodes form one doubly linked list in key order, which is what the
// iterators walk. Keys are ordered and matched by K's operator< alone, so an
// istring key orders and matches without case.
//
// cetl::safemap adds a default value that is read for absent keys, and
// cetl::stringmap is the safemap keyed by istring.

#include <cstdint>
#include <cstdlib>
#include <utility>

#include "cetl/exception.h"
#include "cetl/node_iterator.h"
#include "foundation/tl_memory.h"
#include "foundation/tl_string.h"

namespace cetl {

template <class K, class V>
class map {
 public:
  // What an iterator reaches: `for (auto& [key, value] : map)` works.
  struct entry {
    const K key;
    V value;
  };

 private:
  static constexpr int32_t kLevelLimit = 64;

  struct mynodetype {
    mynodetype(const K& key, const V& value, int32_t nodeLevel)
        : item{key, value}, level(nodeLevel) {}
    mynodetype* forward[kLevelLimit] = {};
    mynodetype* previous = nullptr;
    mynodetype* next = nullptr;
    entry item;
    int32_t level;
  };

 public:
  using iterator = node_iterator<map, mynodetype, entry, &mynodetype::item, false>;
  using const_iterator = node_iterator<map, mynodetype, entry, &mynodetype::item, true>;

  // maxLevel is clamped to 1...64; the programs use 32 throughout.
  explicit map(int32_t maxLevel = 32)
      : m_maxLevel(maxLevel < 1 ? 1 : (maxLevel > kLevelLimit ? kLevelLimit : maxLevel)) {}
  map(const map& other) : map(other.m_maxLevel) { Append(other); }
  map(map&& other) noexcept : map(other.m_maxLevel) { Swap(other); }
  map& operator=(const map& other) {
    if (this != &other) {
      clear();
      Append(other);
    }
    return *this;
  }
  map& operator=(map&& other) noexcept {
    if (this != &other) {
      clear();
      Swap(other);
    }
    return *this;
  }
  ~map() { clear(); }

  uint32_t size() const { return m_count; }
  bool empty() const { return m_count == 0; }

  // Absent keys give end().
  iterator find(const K& key) { return iterator(this, Find(key)); }
  const_iterator find(const K& key) const { return const_iterator(this, Find(key)); }
  bool contains(const K& key) const { return Find(key) != nullptr; }

  // The value for the key; an absent key is inserted with V().
  V& operator[](const K& key) {
    mynodetype* node = Find(key);
    return node ? node->item.value : Insert(key, V())->item.value;
  }
  // The value for the key; an absent key throws "the index specified does not
  // exist within the map".
  V& at(const K& key) { return Existing(Find(key))->item.value; }
  const V& at(const K& key) const { return Existing(Find(key))->item.value; }

  // Stores the value under the key, replacing the value of a key already
  // present: a key is never held twice.
  iterator insert(const K& key, const V& value) { return iterator(this, Insert(key, value)); }

  // Returns whether the key was present.
  bool erase(const K& key) {
    mynodetype* node = Find(key);
    if (!node) return false;
    Unlink(node);
    return true;
  }
  // Removes the entry and returns the position after it; a position that
  // holds no entry of this map throws "the index specified does not exist
  // within the map".
  iterator erase(const_iterator position) {
    if (position.m_container != this || !position.m_node) throw exception(kMapIndexMissing);
    mynodetype* next = position.m_node->next;
    Unlink(position.m_node);
    return iterator(this, next);
  }

  // The first and last entries in key order; both throw on an empty map.
  entry& front() { return Existing(m_first)->item; }
  const entry& front() const { return Existing(m_first)->item; }
  entry& back() { return Existing(m_last)->item; }
  const entry& back() const { return Existing(m_last)->item; }

  void clear() {
    while (m_first) {
      mynodetype* node = m_first;
      m_first = node->next;
      MEM_DELETE(node);
    }
    for (mynodetype*& link : m_head) link = nullptr;
    m_last = nullptr;
    m_count = 0;
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

  static constexpr int32_t kLevelProbability = 79;  // percent

  // The forward links of a node, or of the head for null.
  mynodetype** Links(mynodetype* node) { return node ? node->forward : m_head; }

  static mynodetype* Existing(mynodetype* node) {
    if (!node) throw exception(kMapIndexMissing);
    return node;
  }

  // Descends the skip levels to the last node whose key is below `key`
  // (null for the head), noting that node for every level when asked.
  mynodetype* Before(const K& key, mynodetype** update) const {
    mynodetype* node = nullptr;
    for (int32_t level = m_maxLevel - 1; level >= 0; --level) {
      for (;;) {
        mynodetype* next = (node ? node->forward : m_head)[level];
        if (!next || !(next->item.key < key)) break;
        node = next;
      }
      if (update) update[level] = node;
    }
    return node;
  }

  // Nodes of level 0 live only in the ordered list, so the last step walks it.
  mynodetype* Find(const K& key) const {
    mynodetype* before = Before(key, nullptr);
    mynodetype* node = before ? before->next : m_first;
    while (node && node->item.key < key) node = node->next;
    return node && !(key < node->item.key) ? node : nullptr;
  }

  mynodetype* Insert(const K& key, const V& value) {
    mynodetype* update[kLevelLimit];
    mynodetype* previous = Before(key, update);
    mynodetype* node = previous ? previous->next : m_first;
    while (node && node->item.key < key) {
      previous = node;
      node = node->next;
    }
    if (node && !(key < node->item.key)) {
      node->item.value = value;
      return node;
    }
    int32_t level = 0;
    while (level < m_maxLevel && std::rand() % 100 < kLevelProbability) ++level;
    mynodetype* fresh = Allocated(MEM_NEW(mynodetype, "mynodetype", key, value, level));
    fresh->previous = previous;
    fresh->next = node;
    (previous ? previous->next : m_first) = fresh;
    (node ? node->previous : m_last) = fresh;
    for (int32_t k = 0; k < level; ++k) {
      mynodetype** links = Links(update[k]);
      fresh->forward[k] = links[k];
      links[k] = fresh;
    }
    ++m_count;
    return fresh;
  }

  void Unlink(mynodetype* node) {
    mynodetype* update[kLevelLimit];
    Before(node->item.key, update);
    for (int32_t k = 0; k < node->level; ++k) {
      mynodetype** links = Links(update[k]);
      if (links[k] == node) links[k] = node->forward[k];
    }
    (node->previous ? node->previous->next : m_first) = node->next;
    (node->next ? node->next->previous : m_last) = node->previous;
    --m_count;
    MEM_DELETE(node);
  }

  void Append(const map& other) {
    for (const entry& item : other) Insert(item.key, item.value);
  }

  // The levels go with the nodes: a node may use every level of the map it
  // was built in, and erasing it walks all of them.
  void Swap(map& other) {
    std::swap(m_maxLevel, other.m_maxLevel);
    std::swap(m_count, other.m_count);
    std::swap(m_head, other.m_head);
    std::swap(m_first, other.m_first);
    std::swap(m_last, other.m_last);
  }

  int32_t m_maxLevel;
  uint32_t m_count = 0;
  mynodetype* m_head[kLevelLimit] = {};
  mynodetype* m_first = nullptr;
  mynodetype* m_last = nullptr;
};

// A map that reads absent keys as a default value. Reading never inserts:
// the skin code looks up many keys that a settings file leaves out.
template <class K, class V>
class safemap {
 public:
  using iterator = typename map<K, V>::iterator;
  using const_iterator = typename map<K, V>::const_iterator;

  explicit safemap(const V& defaultValue = V()) : m_default(defaultValue) {}

  // The stored value, or the default value when the key is absent.
  const V& operator[](const K& key) const {
    const_iterator found = m_map.find(key);
    return found == m_map.end() ? m_default : found->value;
  }
  bool contains(const K& key) const { return m_map.contains(key); }
  void set(const K& key, const V& value) { m_map.insert(key, value); }
  bool erase(const K& key) { return m_map.erase(key); }
  void clear() { m_map.clear(); }
  const V& default_value() const { return m_default; }

  uint32_t size() const { return m_map.size(); }
  bool empty() const { return m_map.empty(); }
  iterator find(const K& key) { return m_map.find(key); }
  const_iterator find(const K& key) const { return m_map.find(key); }
  iterator begin() { return m_map.begin(); }
  iterator end() { return m_map.end(); }
  const_iterator begin() const { return m_map.begin(); }
  const_iterator end() const { return m_map.end(); }

 protected:
  map<K, V> m_map;
  V m_default;
};

// Keys such as "Font" and "font" are one key, and iteration runs in
// case-blind order.
template <class V>
class stringmap : public safemap<istring, V> {
 public:
  using safemap<istring, V>::safemap;
};

}  // namespace cetl
