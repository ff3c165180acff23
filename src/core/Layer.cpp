#include "core/Layer.h"

Layer::Layer() : sineTable(SineTable::instance()) {}
