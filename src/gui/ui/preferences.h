#pragma once

#include <QString>

// The few preferences the program keeps between runs, in
// <user config>/trv-compteur/trv-compteur.conf. The link settings are not among them: they
// live in ".kel" files only.
namespace trv::prefs {

// "Vérifier après programmation", on until the technician turns it off.
bool verifyAfterWrite();
void setVerifyAfterWrite(bool on);

// The folder of the last image file saved or loaded; the user's home at first.
QString imageFolder();
void setImageFolder(const QString& folder);

}  // namespace trv::prefs
