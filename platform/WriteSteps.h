// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <functional>

/**
 * A seam for tests that stop a write between its steps, as a crash of the
 * host would, or that fail one as a full disk would: every rename into
 * place, file copy, hard link, removal and folder creation of the file
 * helpers reports itself here before it happens. Without a hook,
 * which is always the case outside tests, reaching a step does nothing.
 */
namespace WriteSteps {

enum class Step { rename, copy, link, remove, makeFolder };

using Hook = std::function<void(Step step, const QString &path)>;

/// Replaces the hook; an empty one removes it. Set it before the write starts, not while one runs.
void setHook(Hook hook);

/// Called by the file helpers just before `step` acts on `path`.
void reach(Step step, const QString &path);

} // namespace WriteSteps
