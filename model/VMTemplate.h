// SPDX-License-Identifier: MIT
#pragma once

#include "HostCapacity.h"
#include "JSONCoding.h"
#include "VMHardwareProfile.h"
#include "VMInstallSource.h"
#include "VMMediaConfiguration.h"
#include "VMNetworkConfiguration.h"
#include "VMTemplateCategory.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QUuid>

/**
 * A reusable starting configuration for a new VM: hardware, network, media
 * and install source, with a name, a description, a category and an icon.
 * The user's own templates are stored in Templates.json; the built-in ones
 * are made afresh in every run and never stored. Every JSON key is required.
 * Identified by `id`.
 */
struct VMTemplate {
    QUuid id;
    QString name;
    QString description;
    VMTemplateCategory category = VMTemplateCategory::custom;
    VMHardwareProfile hardwareProfile;
    VMNetworkConfiguration networkConfiguration;
    VMMediaConfiguration mediaConfiguration;
    VMInstallSource installSource;
    QDateTime createdAt;
    bool isBuiltIn = false;
    QString iconSystemName;

    /**
     * The five built-in templates, in their fixed order: Dev Environment,
     * CI Runner, Clean Install, Performance Testing and QA Testing. Each has
     * a fresh identifier and is made now, so a caller builds them once and
     * keeps them. The performance template takes the host's processor count
     * (at most 16) and three quarters of its memory (at most 64 GiB, not
     * rounded to whole gibibytes).
     */
    static QList<VMTemplate> makeBuiltInTemplates(const HostCapacity &host);

    bool operator==(const VMTemplate &) const = default;
};

void to_json(Json &json, const VMTemplate &vmTemplate);
void from_json(const Json &json, VMTemplate &vmTemplate);
