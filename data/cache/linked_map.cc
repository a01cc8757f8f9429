// The memory cache's linked map.

#include "data/cache/linked_map.h"

#include <utility>

KTLinkedMapNodes& KTLinkedMapNodes::operator=(KTLinkedMapNodes&& other) noexcept {
  if (this != &other) {
    clear();
    head_ = std::exchange(other.head_, nullptr);
    dictionary_ = std::move(other.dictionary_);
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
  dictionary_.reset();
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
  if (dic_.empty()) return KTLinkedMapNodes();
  auto dictionary = std::make_unique<KTLinkedMapDictionary>(std::exchange(dic_, KTLinkedMapDictionary()));
  return KTLinkedMapNodes(chain, std::move(dictionary));
}

