#pragma once
// cetl::vector: an indexed sequence whose items never move in memory. Each
// item is allocated by itself and filed in a block of item pointers; blocks
// hold up to 512 pointers and are split in half when an insert would overflow
// one, so an insert in the middle only shifts pointers within one block.
// Appends fill blocks of 256 items each.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <type_traits>

#include "cetl/exception.h"
#include "cetl/list.h"
#include "foundation/tl_memory.h"

namespace cetl {

template <class T>
class vector {
  struct myblocktype;
  struct myitemtype {
    T value;
    myblocktype* block;
    uint32_t index;
  };
  struct myblocktype {
    myitemtype** items;
    uint32_t count;
    uint32_t capacity;
  };
  using blocklist = list<myblocktype*>;
  using blockposition = typename blocklist::const_iterator;

 public:
  template <bool Constant>
  class basic_iterator;
  using iterator = basic_iterator<false>;
  using const_iterator = basic_iterator<true>;

  vector() = default;
  vector(const vector& other) { Append(other); }
  vector(vector&& other) noexcept : m_count(other.m_count), m_blocks(std::move(other.m_blocks)) {
    other.m_count = 0;
  }
  vector& operator=(const vector& other) {
    if (this != &other) {
      clear();
      Append(other);
    }
    return *this;
  }
  vector& operator=(vector&& other) noexcept {
    if (this != &other) {
      clear();
      m_count = other.m_count;
      m_blocks = std::move(other.m_blocks);
      other.m_count = 0;
    }
    return *this;
  }
  ~vector() { clear(); }

  uint32_t size() const { return m_count; }
  bool empty() const { return m_count == 0; }

  // Both throw "the item specified does not exist within the vector" for an
  // index at or past the count.
  T& operator[](uint32_t index) { return ItemAt(index)->value; }
  const T& operator[](uint32_t index) const { return ItemAt(index)->value; }

  void push_back(const T& value) { Insert(m_blocks.cend(), 0, value); }
  // Inserts before the position; end() appends.
  iterator insert(const_iterator position, const T& value) {
    if (position.m_vector != this) throw exception(kIteratorInvalid);
    if (position.m_block != m_blocks.cend() && position.m_index >= (*position.m_block)->count) {
      throw exception(kIteratorInvalid);
    }
    return Insert(position.m_block, position.m_index, value);
  }
  // An index equal to the count appends.
  iterator insert(uint32_t index, const T& value) {
    if (index == m_count) return Insert(m_blocks.cend(), 0, value);
    uint32_t inBlock = 0;
    blockposition block = Locate(index, inBlock);
    return Insert(block, inBlock, value);
  }

  // Removes the item; the items after it move down one index.
  void erase(uint32_t index) {
    uint32_t inBlock = 0;
    blockposition block = Locate(index, inBlock);
    Remove(block, inBlock);
  }
  // Removes the item and returns the position after it.
  iterator erase(const_iterator position) {
    position.Item();  // throws unless the position holds an item of some vector
    if (position.m_vector != this) throw exception(kIteratorInvalid);
    return Remove(position.m_block, position.m_index);
  }

  void clear() {
    for (myblocktype* block : m_blocks) FreeBlock(block);
    m_blocks.clear();
    m_count = 0;
  }

  iterator begin() { return iterator(this, m_blocks.cbegin(), 0); }
  iterator end() { return iterator(this, m_blocks.cend(), 0); }
  const_iterator begin() const { return const_iterator(this, m_blocks.cbegin(), 0); }
  const_iterator end() const { return const_iterator(this, m_blocks.cend(), 0); }
  const_iterator cbegin() const { return begin(); }
  const_iterator cend() const { return end(); }

  // The block structure, for tests and diagnostics.
  uint32_t block_count() const { return m_blocks.size(); }
  uint32_t block_size(uint32_t block) const {
    for (const myblocktype* candidate : m_blocks) {
      if (block-- == 0) return candidate->count;
    }
    throw exception(kVectorItemMissing);
  }

  template <bool Constant>
  class basic_iterator {
   public:
    using iterator_category = std::bidirectional_iterator_tag;
    using value_type = T;
    using difference_type = std::ptrdiff_t;
    using pointer = std::conditional_t<Constant, const T*, T*>;
    using reference = std::conditional_t<Constant, const T&, T&>;
    using owner = std::conditional_t<Constant, const vector*, vector*>;

    basic_iterator() = default;
    operator basic_iterator<true>() const {
      return basic_iterator<true>(m_vector, m_block, m_index);
    }

    reference operator*() const { return Item()->value; }
    pointer operator->() const { return &Item()->value; }

    basic_iterator& operator++() {
      if (!m_vector || m_block == m_vector->m_blocks.cend()) throw exception(kIteratorAtEnd);
      if (++m_index >= (*m_block)->count) {
        ++m_block;
        m_index = 0;
      }
      return *this;
    }
    basic_iterator operator++(int) {
      basic_iterator before = *this;
      ++*this;
      return before;
    }
    basic_iterator& operator--() {
      if (!m_vector) throw exception(kIteratorAtBeginning);
      if (m_block != m_vector->m_blocks.cend() && m_index > 0) {
        --m_index;
        return *this;
      }
      if (m_block == m_vector->m_blocks.cbegin()) throw exception(kIteratorAtBeginning);
      --m_block;
      m_index = (*m_block)->count - 1;
      return *this;
    }
    basic_iterator operator--(int) {
      basic_iterator before = *this;
      --*this;
      return before;
    }

    friend bool operator==(const basic_iterator& a, const basic_iterator& b) {
      return a.m_vector == b.m_vector && a.m_block == b.m_block && a.m_index == b.m_index;
    }

   private:
    friend class vector;
    template <bool>
    friend class basic_iterator;
    basic_iterator(owner container, blockposition block, uint32_t index)
        : m_vector(container), m_block(block), m_index(index) {}

    // The (block, index) pair is checked against the block before use.
    myitemtype* Item() const {
      if (!m_vector || m_block == m_vector->m_blocks.cend() || m_index >= (*m_block)->count) {
        throw exception(kIteratorInvalid);
      }
      return (*m_block)->items[m_index];
    }

    owner m_vector = nullptr;
    blockposition m_block;
    uint32_t m_index = 0;
  };

 private:
  static constexpr uint32_t kBlockGrowth = 64;
  static constexpr uint32_t kAppendBlockItems = 256;
  static constexpr uint32_t kSplitBlockItems = 512;

  myitemtype* ItemAt(uint32_t index) const {
    uint32_t inBlock = 0;
    return (*Locate(index, inBlock))->items[inBlock];
  }

  blockposition Locate(uint32_t index, uint32_t& inBlock) const {
    if (index >= m_count) throw exception(kVectorItemMissing);
    for (blockposition block = m_blocks.cbegin();; ++block) {
      if (index < (*block)->count) {
        inBlock = index;
        return block;
      }
      index -= (*block)->count;
    }
  }

  // Inserts before item `index` of the block at `where`; where == end() means
  // after the last item of the vector.
  iterator Insert(blockposition where, uint32_t index, const T& value) {
    myitemtype* item = Allocated(MEM_NEW(myitemtype, "myitemtype", value, nullptr, 0u));
    try {
      if (m_blocks.empty()) {
        where = NewBlock(m_blocks.cend(), kBlockGrowth);
        index = 0;
      } else if (where == m_blocks.cend()) {
        --where;
        index = (*where)->count;
      }
      myblocktype* block = *where;
      bool atVectorEnd = index == block->count && std::next(where) == m_blocks.cend();
      if (block->count >= kAppendBlockItems && atVectorEnd) {
        where = NewBlock(m_blocks.cend(), kBlockGrowth);
        block = *where;
        index = 0;
      }
      if (block->count >= kSplitBlockItems) {
        blockposition upperPosition = NewBlock(std::next(where), kSplitBlockItems);
        myblocktype* upper = *upperPosition;
        const uint32_t half = kSplitBlockItems / 2;
        for (uint32_t k = half; k < block->count; ++k) {
          myitemtype* moved = block->items[k];
          block->items[k] = nullptr;
          moved->block = upper;
          moved->index = k - half;
          upper->items[k - half] = moved;
        }
        upper->count = block->count - half;
        block->count = half;
        if (index > half) {
          where = upperPosition;
          block = upper;
          index -= half;
        }
      }
      if (block->count == block->capacity) Grow(block);
      for (uint32_t k = block->count; k > index; --k) {
        block->items[k] = block->items[k - 1];
        block->items[k]->index = k;
      }
      item->block = block;
      item->index = index;
      block->items[index] = item;
      ++block->count;
      ++m_count;
      return iterator(this, where, index);
    } catch (...) {
      MEM_DELETE(item);
      throw;
    }
  }

  iterator Remove(blockposition where, uint32_t index) {
    myblocktype* block = *where;
    myitemtype* item = block->items[index];
    for (uint32_t k = index; k + 1 < block->count; ++k) {
      block->items[k] = block->items[k + 1];
      block->items[k]->index = k;
    }
    block->items[--block->count] = nullptr;
    --m_count;
    MEM_DELETE(item);
    // An empty block is dropped so that every block holds at least one item
    // and iteration never has to skip one.
    if (block->count == 0) {
      FreeBlock(block);
      return iterator(this, m_blocks.erase(where), 0);
    }
    if (index == block->count) return iterator(this, std::next(where), 0);
    return iterator(this, where, index);
  }

  // Creates an empty block with room for `capacity` items and files it before
  // `before` in the block list.
  blockposition NewBlock(blockposition before, uint32_t capacity) {
    myblocktype* block = Allocated(MEM_NEW(myblocktype, "myblocktype", nullptr, 0u, 0u));
    try {
      block->items = static_cast<myitemtype**>(
          Allocated(MEM_ALLOC(capacity * sizeof(myitemtype*), "cNew * sizeof(myitemtype*)")));
      std::memset(block->items, 0, capacity * sizeof(myitemtype*));
      block->capacity = capacity;
      return m_blocks.insert(before, block);
    } catch (...) {
      FreeBlock(block);
      throw;
    }
  }

  static void Grow(myblocktype* block) {
    uint32_t grown = block->capacity + kBlockGrowth;
    auto items = static_cast<myitemtype**>(
        Allocated(MEM_ALLOC(grown * sizeof(myitemtype*), "cNew * sizeof(myitemtype*)")));
    if (block->count) std::memcpy(items, block->items, block->count * sizeof(myitemtype*));
    std::memset(items + block->count, 0, (grown - block->count) * sizeof(myitemtype*));
    if (block->items) MEM_FREE(block->items);
    block->items = items;
    block->capacity = grown;
  }

  static void FreeBlock(myblocktype* block) {
    for (uint32_t k = 0; k < block->count; ++k) MEM_DELETE(block->items[k]);
    if (block->items) MEM_FREE(block->items);
    MEM_DELETE(block);
  }

  void Append(const vector& other) {
    for (const T& value : other) push_back(value);
  }

  uint32_t m_count = 0;
  blocklist m_blocks;
};

}  // namespace cetl
