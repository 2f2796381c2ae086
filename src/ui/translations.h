#pragma once

#include <QString>

namespace kanaroll {

// Loads the toolkit's own Japanese texts (file dialogs, context menus,
// standard buttons), so they read like the rest of the window whatever the
// desktop's language. Call once, after the application object exists.
// Returns false where the translation is not installed; the toolkit then
// speaks English and nothing else changes.
bool installToolkitTranslation();

// Where the toolkit's Japanese translation was looked for first.
QString toolkitTranslationFolder();

} // namespace kanaroll
