#include "criteria/syntax_tree.h"

#include <new>

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
  // Without recursion and without allocating (it also runs while memory is running out): a node
  // with a left child is rotated under that child; a node without one is freed, and its right
  // child comes next.
  SyntaxNode* node = root_;
  root_ = nullptr;
  while (node != nullptr) {
    SyntaxNode* left = node->left_;
    if (left != nullptr) {
      node->left_ = left->right_;
      left->right_ = node;
      node = left;
    } else {
      SyntaxNode* right = node->right_;
      delete node;
      node = right;
    }
  }
}
