// The product tree and the size roll-up.
#include "model/product_tree.h"

#include <algorithm>
#include <cassert>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "model/fields.h"
#include "runtime/bidirectional_lists.h"
#include "runtime/values.h"
#include "sys/text.h"

namespace {

// The chains of one build, each in list order until it is sorted: the
// children of every parent node, and the roots.
struct Chains {
    std::unordered_map<DisplayNode*, std::vector<DisplayNode*>> children;
    std::vector<DisplayNode*> roots;
};

// The first product of the list under each folded name, so that every
// Parent is found without walking the list.
std::unordered_map<std::string, Value> products_by_name(RuntimeContext* rt, BiList* list) {
    std::unordered_map<std::string, Value> by_name;
    for (BiNode* n = list->first; n; n = n->next)
        by_name.emplace(text_fold(field_text(rt, product_name(n->value))), n->value);
    return by_name;
}

// Orders a chain by label, nodes of equal labels keeping the order they
// came in, and links it; the head, or nullptr for an empty chain.
DisplayNode* link_in_label_order(RuntimeContext* rt, std::vector<DisplayNode*>* chain) {
    std::stable_sort(chain->begin(), chain->end(), [rt](DisplayNode* a, DisplayNode* b) {
        return product_label_before(rt, a->owner, b->owner);
    });
    DisplayNode* head = nullptr;
    for (auto at = chain->rbegin(); at != chain->rend(); ++at) {
        (*at)->next_sibling = head;
        head = *at;
    }
    return head;
}

// One product whose subtree is being rolled up: the child to visit next,
// the total so far, and the first failure of a child.
struct RollUpFrame {
    DisplayNode* node;
    DisplayNode* child;
    uint64_t total;
    ResultCode result;
};

// Starts the roll-up of `node`; false when its size is not computed in
// this run, so that it counts as it stands.
bool roll_up_enter(RuntimeContext* rt, std::vector<RollUpFrame>* stack, DisplayNode* node) {
    Product* p = product_record(node->owner);
    if (!p || !p->size_computed) return false;
    stack->push_back(RollUpFrame{node, node->first_child, field_number_value(rt, p->size), RC_OK});
    return true;
}

// Stores a finished product's total. A total that does not fit 32 bits
// leaves the size as it was and, for the first one, goes to *overflowed.
ResultCode roll_up_finish(RuntimeContext* rt, const RollUpFrame& frame, Value* overflowed) {
    if (frame.total > UINT32_MAX) {  // never wrap: the size stays as it was
        if (!*overflowed) *overflowed = frame.node->owner;
        return RC_SIZE_TOO_LARGE;
    }
    Value made = field_number(rt, uint32_t(frame.total));
    if (!made) return RC_NO_OBJECT;
    if (product_set_size(rt, frame.node->owner, made) != RC_OK) {
        value_release(rt, made);
        return RC_NO_OBJECT;
    }
    return frame.result;
}

// Rolls the sizes of `top`'s subtree up, children first, with a stack of
// its own so that a tree of any depth is walked. A product whose total does
// not fit 32 bits keeps its size; the others still get their totals.
// Memory running out ends the roll-up.
ResultCode roll_up(RuntimeContext* rt, DisplayNode* top, Value* overflowed) {
    std::vector<RollUpFrame> stack;
    if (!roll_up_enter(rt, &stack, top)) return RC_OK;
    for (;;) {
        RollUpFrame& frame = stack.back();
        if (DisplayNode* child = frame.child) {
            if (roll_up_enter(rt, &stack, child)) continue;
            frame.total += field_number_value(rt, product_size(child->owner));
            frame.child = child->next_sibling;
            continue;
        }
        ResultCode rc = roll_up_finish(rt, frame, overflowed);
        DisplayNode* done = frame.node;
        stack.pop_back();
        if (rc == RC_NO_OBJECT || stack.empty()) return rc;
        RollUpFrame& parent = stack.back();
        if (parent.result == RC_OK) parent.result = rc;
        parent.total += field_number_value(rt, product_size(done->owner));
        parent.child = done->next_sibling;
    }
}

}  // namespace

DisplayNode* product_tree_build(RuntimeContext* rt, BiList* list, std::string_view root_name,
                                bool mark_selection) {
    if (!list || !rt_usable(rt)) return nullptr;
    for (BiNode* n = list->first; n; n = n->next) {
        DisplayNode* node = product_node(n->value);
        if (!node) continue;
        node->next_sibling = node->first_child = nullptr;
        if (mark_selection) node->visible = 0;
    }
    std::unordered_map<std::string, Value> by_name = products_by_name(rt, list);
    std::unordered_set<DisplayNode*> placed;  // a product listed twice goes in once
    Chains chains;
    DisplayNode* result = nullptr;
    for (BiNode* n = list->first; n; n = n->next) {
        DisplayNode* node = product_node(n->value);
        if (!node || !placed.insert(node).second) continue;
        auto parent = by_name.find(text_fold(field_text(rt, product_parent(n->value))));
        DisplayNode* parent_node = parent == by_name.end() ? nullptr : product_node(parent->second);
        if (parent_node) {
            chains.children[parent_node].push_back(node);
        } else if (root_name.empty()) {
            chains.roots.push_back(node);
        } else if (text_equal_nocase(field_text(rt, product_name(n->value)), root_name)) {
            result = node;
            if (mark_selection) node->selected = node->visible = 1;
        }
    }
    for (auto& [parent_node, children] : chains.children)
        parent_node->first_child = link_in_label_order(rt, &children);
    if (root_name.empty()) result = link_in_label_order(rt, &chains.roots);
    return result;
}

ResultCode product_sizes_roll_up(RuntimeContext* rt, DisplayNode* root, bool whole_chain,
                                 Value* overflowed) {
    Value first_overflow = 0;
    if (overflowed) *overflowed = 0;
    if (!rt_usable(rt)) return RC_NO_OBJECT;
    if (!root) return RC_OK;
    ResultCode result = RC_OK;
    if (!whole_chain) {
        result = roll_up(rt, root, &first_overflow);
    } else {
        root->open = 1;
        for (DisplayNode* node = root; node && result != RC_NO_OBJECT; node = node->next_sibling) {
            ResultCode rc = roll_up(rt, node, &first_overflow);
            if (result == RC_OK || rc == RC_NO_OBJECT) result = rc;
        }
    }
    assert((result == RC_SIZE_TOO_LARGE) == (first_overflow != 0) || result == RC_NO_OBJECT);
    if (overflowed) *overflowed = first_overflow;
    return result;
}
