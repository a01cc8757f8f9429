// The store of the memory cache: a hash map from key to node combined with a
// doubly linked list of the nodes, most recently used at the head and least
// recently used at the tail. Lookup, insertion, moving to the head and
// taking the tail are constant time.
//
// The map owns its nodes. Nodes taken out come back as KTLinkedMapNodes, a
// batch that destroys them (and the keys and values they hold) when it is
// cleared or goes away, so the cache can choose the thread that pays for
// that. The map takes no lock; the memory cache guards it.
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <utility>

#include "kit/foundation/object.h"

struct KTLinkedMapNode {
  KTLinkedMapNode* prev = nullptr;  // towards the head
  KTLinkedMapNode* next = nullptr;  // towards the tail
  kit::Id key;
  kit::Id value;
  uint64_t cost = 0;
  double time = 0;  // media time of the last store or lookup
};

using KTLinkedMapDictionary = std::unordered_map<kit::Id, KTLinkedMapNode*, kit::IdHash, kit::IdEqual>;

// Nodes taken out of the map, waiting to be destroyed.
class KTLinkedMapNodes {
 public:
  KTLinkedMapNodes() = default;
  explicit KTLinkedMapNodes(std::unique_ptr<KTLinkedMapNode> node) { add(std::move(node)); }
  KTLinkedMapNodes(KTLinkedMapNode* chain, std::unique_ptr<KTLinkedMapDictionary> dictionary)
      : head_(chain), dictionary_(std::move(dictionary)) {}
  KTLinkedMapNodes(KTLinkedMapNodes&& other) noexcept
      : head_(std::exchange(other.head_, nullptr)), dictionary_(std::move(other.dictionary_)) {}
  KTLinkedMapNodes& operator=(KTLinkedMapNodes&& other) noexcept;
  ~KTLinkedMapNodes() { clear(); }

  bool empty() const { return head_ == nullptr; }
  void add(std::unique_ptr<KTLinkedMapNode> node);
  // Destroys every node now, on the calling thread.
  void clear();

 private:
  KTLinkedMapNode* head_ = nullptr;  // linked through `next`
  std::unique_ptr<KTLinkedMapDictionary> dictionary_;  // a whole map's index, after removeAll
};

class KTLinkedMap {
 public:
  KTLinkedMap() = default;
  ~KTLinkedMap();
  KTLinkedMap(const KTLinkedMap&) = delete;
  KTLinkedMap& operator=(const KTLinkedMap&) = delete;

  KTLinkedMapNode* find(const kit::Id& key) const {
    auto found = dic_.find(key);
    return found == dic_.end() ? nullptr : found->second;
  }
  // Adds the node to the dictionary and the totals, as the new head.
  KTLinkedMapNode* insertNodeAtHead(std::unique_ptr<KTLinkedMapNode> node);
  void bringNodeToHead(KTLinkedMapNode* node) {
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
  std::unique_ptr<KTLinkedMapNode> removeNode(KTLinkedMapNode* node);
  // nullptr when the map is empty.
  std::unique_ptr<KTLinkedMapNode> removeTailNode();
  // Empties the map in constant time; the nodes come back as one batch.
  KTLinkedMapNodes removeAll();

  KTLinkedMapNode* head() const { return head_; }
  KTLinkedMapNode* tail() const { return tail_; }
  uint64_t totalCost() const { return totalCost_; }
  uint64_t totalCount() const { return totalCount_; }
  // Adjusts the total cost when a node's cost changes in place.
  void changeCost(KTLinkedMapNode* node, uint64_t cost) {
    totalCost_ = totalCost_ - node->cost + cost;
    node->cost = cost;
  }

  bool releaseOnMainThread = false;
  bool releaseAsynchronously = true;

 private:
  void unlink(KTLinkedMapNode* node) {
    if (node->prev) node->prev->next = node->next;
    if (node->next) node->next->prev = node->prev;
    if (head_ == node) head_ = node->next;
    if (tail_ == node) tail_ = node->prev;
    node->prev = node->next = nullptr;
  }

  KTLinkedMapDictionary dic_;
  uint64_t totalCost_ = 0;
  uint64_t totalCount_ = 0;
  KTLinkedMapNode* head_ = nullptr;
  KTLinkedMapNode* tail_ = nullptr;
};
