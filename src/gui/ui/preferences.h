#pragma once

#include <QString>
#include <array>

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

// "Outils > Taille du texte": the board windows' size in percent of their own. 100 until
// chosen; a stored value that is not one of those offered counts as 100.
inline constexpr std::array<int, 4> kTextSizes{100, 125, 150, 200};
int textSize();
void setTextSize(int percent);

}  // namespace trv::prefs
