#include "backend/adapter.h"

#include "platform/platform.h"

Adapter::Adapter() {
    // Through the base operation on purpose: a new adapter holds the normal
    // attribute without having sent anything to the console.
    Adapter::setAttribute(NORMAL_ATTRIBUTE);
}

const char* Adapter::name() { return "Generic Adapter"; }

int Adapter::attribute() { return attribute_; }

void Adapter::setAttribute(int attr) { attribute_ = attr; }

// Draws the text as runs of equal characters, one fill per run.
void Adapter::write(int position, const char* text, int count) {
    if (count <= 0) {
        fill(0, '\0', 0);
        return;
    }
    int runStart = 0;
    for (int i = 1; i <= count; i++) {
        if (i == count || text[i] != text[runStart]) {
            fill(position + runStart, text[runStart], i - runStart);
            runStart = i;
        }
    }
}

int Adapter::keyReady() { return _kbhit(); }

// A 0 byte introduces an extended key whose scan code follows.
int Adapter::readKey() {
    int c = _getch();
    if (c != 0) return c;
    return _getch() * 256;
}

void Adapter::hideCursor() {}

void Adapter::showCursor() {}

void Adapter::blockCursor() {}

void Adapter::normalCursor() {}

unsigned Adapter::keyState() { return keyState_; }

int Adapter::moveBlock(int, int, int) { return 0; }
