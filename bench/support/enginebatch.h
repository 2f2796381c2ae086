#pragma once

#include "batch/ikkatsu.h"
#include "engine/aisho.h"

#include <QStringList>

#include <optional>
#include <string_view>

inline std::u16string_view u16view(const QString &s)
{
    return std::u16string_view(reinterpret_cast<const char16_t *>(s.utf16()), static_cast<std::size_t>(s.size()));
}

// The batch loop over two fixed lists with the engine as the play and no
// window or pause: the floor that the window's batch is measured against.
// The lists and the result buffer must outlive the hooks.
inline kanaroll::IkkatsuHooks engineBatchHooks(const QStringList &self, const QStringList &partner,
                                               kanaroll::AishoResult &result)
{
    kanaroll::IkkatsuHooks hooks;
    hooks.wait = [] { return 0.0; };
    hooks.selfCount = [&self] { return int(self.size()); };
    hooks.partnerCount = [&partner] { return int(partner.size()); };
    hooks.selfAt = [&self](int i) { return self.at(i); };
    hooks.partnerAt = [&partner](int i) { return partner.at(i); };
    hooks.play = [&result](const QString &a, const QString &b) -> std::optional<int> {
        if (!kanaroll::AishoCalc(u16view(a), u16view(b), result))
            return std::nullopt;
        return result.percentage;
    };
    return hooks;
}
