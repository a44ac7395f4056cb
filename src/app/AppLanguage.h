// AppLanguage.h: installs the user-interface language (built-in Chinese or embedded English).
#pragma once

// 1 installs the English translation ":/translations/quorix_en.qm"; any other value removes an
// installed translation and leaves the built-in Chinese texts. GUI thread.
void installAppLanguage(int lang);
