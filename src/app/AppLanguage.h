// AppLanguage.h: installs the user-interface language (built-in Chinese or embedded English).
#pragma once

// 1 installs the English translation ":/translations/quorix_en.qm"; any other value removes an
// installed translation and leaves the built-in Chinese texts, with Qt's own Chinese texts for
// standard buttons and dialogs where the system has them. GUI thread.
void installAppLanguage(int lang);
