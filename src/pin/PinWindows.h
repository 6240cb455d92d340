#pragma once

class CommmonFunction;
class PinGate;

// Registers the PIN windows the other screens open by name.
void registerPinWindows(CommmonFunction &common, PinGate &gate);
