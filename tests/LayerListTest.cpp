#include "TestLayerList.h"
#include "timeline/LayerList.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A layer that writes its name into a shared log when drawn.
class NamedLayer : public Layer {
public:
    NamedLayer(std::string& log, char name) : log(log), name(name) {}
    void render(Bitmap&, double) override { log += name; }
    void archiveState(StateArchive&) override {}

private:
    std::string& log;
    char name;
};

struct LayerListTest : ::testing::Test {
    std::string drawn;
    NamedLayer l1{drawn, '1'}, l2{drawn, '2'}, l3{drawn, '3'};
    TestLayerList list;
    Bitmap target;

    std::string draw() {
        drawn.clear();
        list.renderAll(target, 0.0);
        return drawn;
    }

    // "layer@depth" per node, '-' for an empty slot.
    std::string nodes() {
        std::string text;
        for (LayerNode* node = &list; node != nullptr; node = node->next) {
            char name = '-';
            if (node->layer == &l1) name = '1';
            if (node->layer == &l2) name = '2';
            if (node->layer == &l3) name = '3';
            text += std::string(1, name) + "@" + std::to_string(node->depth) + " ";
        }
        return text;
    }
};

} // namespace

TEST_F(LayerListTest, NewListDrawsNothing) {
    EXPECT_EQ(draw(), "");
    EXPECT_EQ(nodes(), "-@0 ");
}

TEST_F(LayerListTest, LatestInsertAtEqualDepthIsDrawnFirst) {
    list.insert(&l1, 5);
    list.insert(&l2, 5);
    EXPECT_EQ(draw(), "21");
}

TEST_F(LayerListTest, DrawsInAscendingDepth) {
    list.insert(&l1, 1);
    list.insert(&l2, 9);
    list.insert(&l3, 5);
    EXPECT_EQ(draw(), "132");
}

TEST_F(LayerListTest, RemovedSlotStaysAndIsReusedAtItsDepth) {
    list.insert(&l1, 5);
    list.remove(&l1);
    list.insert(&l2, 5);
    EXPECT_EQ(nodes(), "-@0 2@5 -@5 ");
    EXPECT_EQ(draw(), "2");
}

TEST_F(LayerListTest, DepthZeroFillsTheListObjectItself) {
    list.insert(&l1, 0);
    EXPECT_EQ(list.layer, &l1);
    EXPECT_EQ(nodes(), "1@0 -@0 ");
    list.insert(&l2, -3);
    EXPECT_EQ(nodes(), "2@-3 1@0 -@0 ");
}

TEST_F(LayerListTest, LayerInsertedTwiceIsDrawnTwiceAndRemovedOnce) {
    list.insert(&l1, 2);
    list.insert(&l1, 2);
    EXPECT_EQ(draw(), "11");
    list.remove(&l1);
    EXPECT_EQ(draw(), "1");
}

TEST_F(LayerListTest, RemovingAnAbsentLayerChangesNothing) {
    list.insert(&l1, 3);
    list.remove(&l2);
    EXPECT_EQ(nodes(), "-@0 1@3 ");
}

namespace {

// Removes another layer from the list while it draws.
class RemovingLayer : public Layer {
public:
    RemovingLayer(LayerList& list, Layer* victim, std::string& log) : list(list), victim(victim), log(log) {}
    void render(Bitmap&, double) override {
        log += 'R';
        list.remove(victim);
    }
    void archiveState(StateArchive&) override {}

private:
    LayerList& list;
    Layer* victim;
    std::string& log;
};

} // namespace

TEST_F(LayerListTest, SlotEmptiedDuringThePassIsSkipped) {
    RemovingLayer remover(list, &l2, drawn);
    list.insert(&remover, 1);
    list.insert(&l2, 7);
    EXPECT_EQ(draw(), "R");
}
