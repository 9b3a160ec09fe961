#pragma once
// The checked iterator of the containers whose elements are linked nodes
// (list and map): it walks the nodes' next and previous links and knows its
// container, so that stepping back from end() reaches the last node. Reading
// through a position that points nowhere, or stepping past either end, throws
// cetl::exception instead of walking off into freed memory.

#include <cstddef>
#include <iterator>
#include <type_traits>

#include "cetl/exception.h"

namespace cetl {

// Node has previous and next links; Field points to the member (of type
// Value) that a position reads; Container keeps its last node in m_last and
// befriends this template.
template <class Container, class Node, class Value, auto Field, bool Constant>
class node_iterator {
 public:
  using iterator_category = std::bidirectional_iterator_tag;
  using value_type = Value;
  using difference_type = std::ptrdiff_t;
  using pointer = std::conditional_t<Constant, const Value*, Value*>;
  using reference = std::conditional_t<Constant, const Value&, Value&>;
  using owner = std::conditional_t<Constant, const Container*, Container*>;

  node_iterator() = default;
  // A writable position can always be used where a read-only one is asked.
  operator node_iterator<Container, Node, Value, Field, true>() const {
    return node_iterator<Container, Node, Value, Field, true>(m_container, m_node);
  }

  reference operator*() const {
    if (!m_node) throw exception(kIteratorInvalid);
    return m_node->*Field;
  }
  pointer operator->() const { return &**this; }

  node_iterator& operator++() {
    if (!m_node) throw exception(kIteratorAtEnd);
    m_node = m_node->next;
    return *this;
  }
  node_iterator operator++(int) {
    node_iterator before = *this;
    ++*this;
    return before;
  }
  // Stepping back from end() reaches the last node.
  node_iterator& operator--() {
    Node* previous = m_node ? m_node->previous : (m_container ? m_container->m_last : nullptr);
    if (!previous) throw exception(kIteratorAtBeginning);
    m_node = previous;
    return *this;
  }
  node_iterator operator--(int) {
    node_iterator before = *this;
    --*this;
    return before;
  }

  friend bool operator==(const node_iterator& a, const node_iterator& b) {
    return a.m_container == b.m_container && a.m_node == b.m_node;
  }

 private:
  friend Container;
  template <class, class, class, auto, bool>
  friend class node_iterator;
  node_iterator(owner container, const Node* node)
      : m_container(container), m_node(const_cast<Node*>(node)) {}

  owner m_container = nullptr;
  Node* m_node = nullptr;
};

}  // namespace cetl
