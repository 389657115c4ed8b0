// SPDX-License-Identifier: MIT
#pragma once

/// What a screen's one banner tells: news of something done, or a failure or refusal.
enum class MessageKind {
    information,
    failure,
};
