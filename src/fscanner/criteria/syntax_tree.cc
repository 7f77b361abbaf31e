#include "criteria/syntax_tree.h"

#include <new>
#include <vector>

SyntaxNode* SyntaxTree::ensureRoot() {
  if (root_ == nullptr) root_ = new (std::nothrow) SyntaxNode;
  return root_;
}

bool SyntaxTree::combine(SyntaxTree& other) {
  if (root_ == nullptr && other.root_ == nullptr) return true;
  auto* node = new (std::nothrow) SyntaxNode;
  if (node == nullptr) return false;
  node->left_ = root_;
  node->right_ = other.root_;
  root_ = node;
  other.root_ = nullptr;
  return true;
}

void SyntaxTree::clear() {
  if (root_ == nullptr) return;
  std::vector<SyntaxNode*> pending{root_};
  root_ = nullptr;
  while (!pending.empty()) {
    SyntaxNode* node = pending.back();
    pending.pop_back();
    if (node->left_ != nullptr) pending.push_back(node->left_);
    if (node->right_ != nullptr) pending.push_back(node->right_);
    delete node;
  }
}
