// TEMPORARY placeholder definitions owned by the 'telnet' work; deleted as the real ones land.
#include "backend/devtel.h"

DevTel::DevTel(const char*) {}
DevTel::~DevTel() {}
int DevTel::isOpen(int) { return 0; }
void DevTel::leave(int) {}
int DevTel::open(int, const char*, int, int) { return 1; }
void DevTel::close(int) {}
int DevTel::read(char*, int) { return -1; }
int DevTel::write(const char*, int c) { return c; }
const char* DevTel::name() { return ""; }
int DevTel::reportError() { return 1; }
