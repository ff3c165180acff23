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
            node->layer->render(target, seconds);
    }
}
