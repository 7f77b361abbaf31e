// The stored form of a parsed criteria text: a binary tree of tokens. Leaves hold operands
// (literal, variable, column) or nothing (an empty leaf, worth NUMERIC 0); inner nodes hold an
// operator or command token over their operands. Chains are left-deep (a - b - c is
// (a - b) - c); a unary operator has its operand on the left and an empty leaf on the right;
// parentheses leave no node.
//
// Trees can be as deep as a text is long (a sum of 100,000 terms), so nothing here recurses.
#ifndef FSCANNER_CRITERIA_SYNTAX_TREE_H
#define FSCANNER_CRITERIA_SYNTAX_TREE_H

#include "criteria/criteria_token.h"

class SyntaxNode {
 public:
  SyntaxNode() = default;
  SyntaxNode(const SyntaxNode&) = delete;
  SyntaxNode& operator=(const SyntaxNode&) = delete;

  // Copies the token (its operand cache excepted).
  void setToken(const CriteriaToken& token) { token_ = token; }
  void setToken(TokenKind kind, int64_t number) {
    token_.kind = kind;
    token_.number = number;
  }
  const CriteriaToken& token() const { return token_; }
  CriteriaToken& token() { return token_; }
  bool isLeaf() const { return left_ == nullptr && right_ == nullptr; }
  // A leaf that holds no operand.
  bool isEmptyLeaf() const { return isLeaf() && token_.kind == TokNone; }
  SyntaxNode* left() const { return left_; }
  SyntaxNode* right() const { return right_; }

 private:
  friend class SyntaxTree;

  // Owned by the tree, which frees them without recursion or allocation.
  SyntaxNode* left_ = nullptr;
  SyntaxNode* right_ = nullptr;
  CriteriaToken token_;
};

class SyntaxTree {
 public:
  SyntaxTree() = default;
  ~SyntaxTree() { clear(); }
  SyntaxTree(const SyntaxTree&) = delete;
  SyntaxTree& operator=(const SyntaxTree&) = delete;

  // The root, made an empty leaf first when there is none; null only when memory runs out.
  SyntaxNode* ensureRoot();
  // Puts a new node above both roots: left = this root, right = other's root; other becomes
  // empty. Nothing happens when both are empty. False, both unchanged, when memory runs out.
  bool combine(SyntaxTree& other);
  SyntaxNode* root() const { return root_; }
  bool empty() const { return root_ == nullptr; }
  // Frees every node.
  void clear();

 private:
  SyntaxNode* root_ = nullptr;
};

#endif  // FSCANNER_CRITERIA_SYNTAX_TREE_H
