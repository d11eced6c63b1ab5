#include "ZEM_F_B_Securitry.h"

ZEM_F_B_Securitry::ZEM_F_B_Securitry(QObject *parent) : QObject(parent) {}

ZEM_F_B_Securitry::~ZEM_F_B_Securitry() = default;
