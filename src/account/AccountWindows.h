#pragma once

class CommmonFunction;

// Makes the presenters open the account sheets: sign-in, password, sign-up, password reset.
void registerAccountWindows(CommmonFunction &common);
