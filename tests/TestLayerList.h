#pragma once
// A layer list that frees its nodes when the test ends. The show's list never frees them (it
// lives for the whole run), which a leak checker would report for every test's list.

#include "timeline/LayerList.h"

struct TestLayerList : LayerList {
    TestLayerList() = default;
    TestLayerList(const TestLayerList&) = delete;
    TestLayerList& operator=(const TestLayerList&) = delete;
    ~TestLayerList() {
        for (LayerNode* node = next; node != nullptr;) {
            LayerNode* following = node->next;
            delete node;
            node = following;
        }
    }
};
