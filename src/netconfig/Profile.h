#pragma once
// Profiles: the editable settings of a Q2 module as a small, versioned JSON file, saved from one
// module and applied to others. A profile file is outside input: it is read with hard limits and
// checked whole, so that a file that is malformed, foreign or hostile is refused before any module
// is touched.
//
// Format version 1:
//   {
//     "format": "bexo-z0-profile",      required, names the kind of file
//     "formatVersion": 1,               required
//     "model": "Q2",                    required
//     "firmware": 4017,                 optional: the version of the module it was saved from
//     "savedFrom": "00 1A 2B 3C 4D 5E", optional
//     "savedAt": "2024-03-01T08:05:09", optional
//     "comment": "...",                 optional
//     "fields": { "WorkMode": "TCP Server", "LocalPort": 20108, "ClearBuffer": false, ... }
//   }
// Field names are those of the CLI's write (Q2PageFields); lists take the item's English text,
// numbers and baud rates JSON integers, check boxes true/false, texts strings. No other key is
// allowed anywhere.

#include "netconfig/Q2Page.h"

#include <QByteArray>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <QStringList>

inline const QString ProfileFormatName = QStringLiteral("bexo-z0-profile");
constexpr int ProfileFormatVersion = 1;
constexpr qint64 ProfileMaxBytes = 64 * 1024; // a full profile is about 2 KiB
constexpr int ProfileMaxDepth = 3;            // the document, "fields", one value
constexpr int ProfileMaxText = 1024;          // characters of a text without a limit of its own

struct TProfileField {
    QString Name;
    QJsonValue Value;
};

struct TProfile {
    QString Model = QStringLiteral("Q2");
    int Firmware = 0; // 0: not given
    QString SavedFrom;
    QString SavedAt;
    QString Comment;
    QList<TProfileField> Fields; // in the order of the field table
    QStringList FieldNames() const;
    bool operator==(const TProfile &o) const;
};

struct TSkippedField {
    QString Name;
    QString Reason;
};

struct TFieldChange {
    QString Name;
    QString Old;
    QString New;
};

// Parses and checks the bytes of a profile file; false with a message naming the first fault.
bool ParseProfile(const QByteArray &bytes, TProfile &profile, QString &error);
// Reads the file (never more than ProfileMaxBytes + 1 bytes of it) and parses it.
bool ReadProfileFile(const QString &path, TProfile &profile, QString &error);
// The file's text: the keys in the order above, one field a line in the order of the field table.
QByteArray ProfileToJson(const TProfile &profile);
// Writes the file whole or not at all; false with a message.
bool WriteProfileFile(const QString &path, const TProfile &profile, QString &error);

struct TProfileSaveOptions {
    bool Identity = false;    // StaticIP, ModName
    bool Credentials = false; // UserName, Password
};
// The fields a write of this page to this firmware would carry, in table order. Identity and login
// fields are left out unless asked for, as are empty texts and lists without a selection; left
// receives each field left out with the reason.
TProfile ProfileFromPage(const TQ2Page &page, int version, const TProfileSaveOptions &options,
                         QList<TSkippedField> *left = nullptr);

// The fields whose value on edited differs from read (the same page as the module sent it), in
// table order.
QStringList ChangedQ2Fields(const TQ2Page &read, const TQ2Page &edited);
// The fields the user changed on the page since the read, as a profile a fleet write applies to
// other modules of this firmware version. A changed identity field (StaticIP, ModName) is carried
// only when named in keepIdentity: what tells modules apart is never copied unless asked for. Every
// changed field the profile does not carry goes into left, with the reason.
TProfile ChangedFieldsProfile(const TQ2Page &read, const TQ2Page &edited, int version,
                              const QStringList &keepIdentity = {}, QList<TSkippedField> *left = nullptr);

// The NAME=VALUE text of a profile value.
QString ProfileValueText(const QJsonValue &value);

struct TProfileApplied {
    QList<TFieldChange> Changes;  // every field set that the write carries, with its value before
    QList<TSkippedField> Skipped; // named fields this write will not carry, and why
    QStringList Written;          // named fields the write carries, in table order
};
// Applies the profile's fields (a hex box before its data, so the data stays as given), then the
// explicit NAME=VALUE assignments, and sorts every named field into written or skipped for a module
// of this firmware version. A profile value this module's list does not offer is skipped with the
// reason; a bad explicit assignment raises EPageFieldError. profile may be null.
TProfileApplied ApplyProfile(TQ2Page &page, int version, const TProfile *profile, const QStringList &assignments);
