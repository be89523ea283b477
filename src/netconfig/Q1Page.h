#pragma once
// The Q1 editor page as data, and the 28-byte field group that Q1 and Q3 modules use.

#include "netconfig/PageControls.h"

#include <QString>
#include <cstdint>

struct TQ1Page {
    TQ1Page();

    TComboState cbb_ModuleWork;
    TEditState edt_ModuleIP, edt_Mask, edt_Gateway;
    TComboState cbb_BaudRate, cbb_P, cbb_D, cbb_S;
    TEditState edt_ModulePort, edt_DeIP, edt_DePort, edt_ID;
    TLabelState lbl_DeIP, lbl_DePort;
    TCheckState chk_ConnSendId, chk_DataWithId, chk_RS485, chk_RS422, chk_Reset, chk_Link, chk_Index, chk_RFC2217;

    // Destination IP and port are used by "UDP Mode" and "TCP Client" only.
    void ModuleWorkChange();
    void ModuleWorkChange(int mode);

    // The checks before a write, in page order: every address and number the 28 bytes carry must
    // be one they can hold (an empty device ID goes out as 0). On the first failure the message
    // (the label and why, in the selected language) is set and false returned.
    bool ValidateQ1Page(QString &message) const;
};

constexpr int Q1FieldsSize = 28;

// The serial-settings byte: data index in bits 1-0, stop index in bit 2, parity enabled in bit 3
// and parity type (index - 1) in bits 5-4.
uint8_t SerialSettingsByte(int parity, int data, int stop);
uint8_t Q1OptionByte(const TQ1Page &page);

// Page -> 28 bytes. An empty ID is first set to "0". A field that does not convert leaves out
// untouched and returns false with the field's control name.
bool WriteQ1Fields(TQ1Page &page, uint8_t *out, QString *failedField = nullptr);
// 28 bytes -> page.
void ReadQ1Fields(const uint8_t *in, TQ1Page &page);
