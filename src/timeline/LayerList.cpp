#include "timeline/LayerList.h"

void LayerList::insert(Layer* layer, int depth) {
    LayerNode* node = this;
    while (depth > node->depth) {
        if (node->next == nullptr) {
            node->next = new LayerNode{nullptr, layer, depth};
            return;
        }
        node = node->next;
    }
    // The slot's old contents move one place back into a fresh node.
    node->next = new LayerNode{node->next, node->layer, node->depth};
    node->layer = layer;
    node->depth = depth;
}

void LayerList::remove(Layer* layer) {
    for (LayerNode* node = this; node != nullptr; node = node->next) {
        if (node->layer == layer) {
            node->layer = nullptr;
            return;
        }
    }
}

void LayerList::renderAll(Bitmap& target, double seconds) {
    for (LayerNode* node = this; node != nullptr; node = node->next) {
        if (node->layer != nullptr)
            renderLayer(*node->layer, target, seconds);
    }
}

void LayerList::renderLayer(Layer& layer, Bitmap& target, double seconds) {
    renderChoosingSplit(layer, splitChoices[&layer], target, seconds);
}

std::vector<LayerList::Slot> LayerList::slots() const {
    std::vector<Slot> all;
    for (const LayerNode* node = this; node != nullptr; node = node->next)
        all.push_back({node->layer, node->depth});
    return all;
}

void LayerList::setSlots(const std::vector<Slot>& wanted) {
    LayerNode* node = this;
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        node->layer = wanted[i].layer;
        node->depth = wanted[i].depth;
        if (i + 1 < wanted.size() && node->next == nullptr)
            node->next = new LayerNode;
        if (i + 1 < wanted.size())
            node = node->next;
    }
    // Nodes past the last wanted slot are no longer part of the list.
    LayerNode* spare = node->next;
    node->next = nullptr;
    while (spare != nullptr) {
        LayerNode* after = spare->next;
        delete spare;
        spare = after;
    }
}
