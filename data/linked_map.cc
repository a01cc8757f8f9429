// The memory cache's linked map.

#include "data/linked_map.h"

#include <utility>

KTLinkedMapNodes::KTLinkedMapNodes(KTLinkedMapNodes&& other) noexcept
    : head_(std::exchange(other.head_, nullptr)), dictionary_(std::move(other.dictionary_)) {
  other.dictionary_.clear();
}

KTLinkedMapNodes& KTLinkedMapNodes::operator=(KTLinkedMapNodes&& other) noexcept {
  if (this != &other) {
    clear();
    head_ = std::exchange(other.head_, nullptr);
    dictionary_ = std::move(other.dictionary_);
    other.dictionary_.clear();
  }
  return *this;
}

void KTLinkedMapNodes::add(std::unique_ptr<KTLinkedMapNode> node) {
  if (!node) return;
  node->prev = nullptr;
  node->next = head_;
  head_ = node.release();
}

void KTLinkedMapNodes::clear() {
  dictionary_.clear();
  while (KTLinkedMapNode* node = head_) {
    head_ = node->next;
    delete node;
  }
}

KTLinkedMap::~KTLinkedMap() { removeAll().clear(); }

KTLinkedMapNode* KTLinkedMap::insertNodeAtHead(std::unique_ptr<KTLinkedMapNode> owned) {
  KTLinkedMapNode* node = owned.release();
  dic_.emplace(node->key, node);
  totalCost_ += node->cost;
  ++totalCount_;
  node->prev = nullptr;
  node->next = head_;
  if (head_) {
    head_->prev = node;
  } else {
    tail_ = node;
  }
  head_ = node;
  return node;
}

void KTLinkedMap::unlink(KTLinkedMapNode* node) {
  if (node->prev) node->prev->next = node->next;
  if (node->next) node->next->prev = node->prev;
  if (head_ == node) head_ = node->next;
  if (tail_ == node) tail_ = node->prev;
  node->prev = node->next = nullptr;
}

void KTLinkedMap::bringNodeToHead(KTLinkedMapNode* node) {
  if (head_ == node) return;
  unlink(node);
  node->next = head_;
  if (head_) {
    head_->prev = node;
  } else {
    tail_ = node;
  }
  head_ = node;
}

std::unique_ptr<KTLinkedMapNode> KTLinkedMap::removeNode(KTLinkedMapNode* node) {
  dic_.erase(node->key);
  totalCost_ -= node->cost;
  --totalCount_;
  unlink(node);
  return std::unique_ptr<KTLinkedMapNode>(node);
}

std::unique_ptr<KTLinkedMapNode> KTLinkedMap::removeTailNode() {
  if (!tail_) return nullptr;
  return removeNode(tail_);
}

KTLinkedMapNodes KTLinkedMap::removeAll() {
  totalCost_ = 0;
  totalCount_ = 0;
  KTLinkedMapNode* chain = std::exchange(head_, nullptr);
  tail_ = nullptr;
  return KTLinkedMapNodes(chain, std::exchange(dic_, KTLinkedMapDictionary()));
}

void KTLinkedMap::changeCost(KTLinkedMapNode* node, uint64_t cost) {
  totalCost_ = totalCost_ - node->cost + cost;
  node->cost = cost;
}
