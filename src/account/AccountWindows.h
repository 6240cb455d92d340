#pragma once

class CommmonFunction;
class WebContentLoader;

// Makes the presenters open the account sheets: sign-in, password, sign-up, password reset.
// Facebook sign-in in those sheets uses web (may be null: it then says it needs it).
void registerAccountWindows(CommmonFunction &common, WebContentLoader *web = nullptr);
