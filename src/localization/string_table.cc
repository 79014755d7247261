// The built-in string table: every text the control shows by number, in German (1031),
// English (1033) and French (1036), as UTF-8. A "&" marks the access key of a caption.
// Texts are kept exactly as shipped, odd spellings and double blanks included, since
// operators and scripts compare them.
#include "localization/string_table.h"

#include <algorithm>
#include <iterator>

namespace tabulo::localization {
namespace {

// Sorted by id, for the binary search in BuiltInString.
constexpr StringTableEntry kTable[] = {
    {1004, "Abbrechen", "Cancel", "Annuler"},
    {1005, "OK", "OK", "OK"},
    {1009, "Nicht Angeschlossen", "Not Connected", "Non relié"},
    {1013, "Bestätigung", "Confirmation", "Confirmation"},
    {1019, "Initialisierungsfehler", "Initialize Error", "Erreur d'initialisation"},
    {1030, "Kritischer Fehler", "Critical Error", "Erreur critique"},
    {1034, "DSN-Eigenschaft", "DSN Property", "Propriété DSN"},
    {1036, "Aktualisierungsfehler", "Refresh Error", "Erreur de rafraîchissement"},
    {1048, "Möchten Sie wirklich Datenbanksätze aktualisieren?",
     "Are you sure you want to Update database records?",
     "Etes-vous sûr de vouloir mettre à jour vos enregistrements de base de données ?"},
    {1059, "Optionen", "Options", "Options"},
    {1060, "Aktualisieren", "Refresh", "Rafraîchir"},
    {1072, "Automatisch aktualisieren", "Automatic refresh", "Rafraîchissement automatique"},
    {1076, "Aktualisierungen der Datenbank bestätigen", "Confirm database updates",
     "Confirmer les mises à jour de la base de données"},
    {1079, "Hintergrundfarbe", "Background Color", "Couleur d'arrière-plan"},
    {1080, "Schriftart", "Font", "Police"},
    {1081, "Schriftfarbe", "Font C&olor", "Couleur de la police"},
    {1082, "Rastereigenschaften", "Grid Properties", "Propriétés de la grille"},
    {1085, "Aktualisierungen der Datenbank erlauben", "Allow database &updates",
     "Autoriser des mises à jour de la base de données"},
    {1088, "Intervall (Sekunden)", "Interval (seconds)", "Intervalle (secondes)"},
    {1092, "(Keine)", "(None)", "(Aucun)"},
    {1093, "Fehler", "Error", "Erreur"},
    {1094, "Der Name der Systemdatenquelle muß eingegeben werden.",
     "The system data source name must be entered.",
     "Le nom de la source de données du système doit être entré."},
    {1096, "Verbindungswerte", "Connection Values", "Valeurs de connexion"},
    {1100, "Treiber:", "Driver:", "Gestionnaire:"},
    {1101, "Datenbank:", "Database:", "Base de données:"},
    {1102, "Paßwort:", "Password:", "Mot de passe:"},
    {1103, "UID:", "UID:", "UID:"},
    {1104, "DSN:", "DSN:", "DSN:"},
    {1128, "DSN-Eigenschaft konnte nicht eingestellt werden. %s %s",
     "DSN Property could not be set. %s %s", "La propriété DSN n'a pas pu être définie. %s %s"},
    {1135, "Allgemein", "General", "Général"},
    {1136, "Datenquellen-Eigenschaften", "Data Source Properties", "Propriétés source de données"},
    {1137, "Spalteneigenschaften", "Column Properties", "Propriétés des colonnes"},
    {1142, "Alle Tabellen auflisten", "List all Tables", "Énumérez les Tableaux"},
    {1143, "SQL-Anweisung", "SQL Statement", "Instructions SQL"},
    {1144, "Datenzugriff", "Data Access", "Accès aux données"},
    {1150, "Name", "Name", "Nom"},
    {1151, "Sichtbar", "Visible", "Visible"},
    {1152, "Beschriftung", "Caption", "Légende"},
    {1153, "Breite", "Width", "Largeur"},
    {1154, "Grasen", "Browsing", "Lecture rapide"},
    {1155, "Angeschlossen", "Connected", "Relié"},
    {1156, "Lokal", "Local", "Local"},
    {1157, "VELTRA Panel Studio - Tabulo", "VELTRA Panel Studio - Tabulo",
     "VELTRA Panel Studio - Tabulo"},
    {1158, "VELTRA Tabulo", "VELTRA Tabulo", "VELTRA Tabulo"},
    {1163, "Query Builder", "Query Builder", "Créer une requête"},
    {1164, "Apply Changes", "Apply Changes", "Appliquer"},
    {1165, "Tables:", "Tables:", "Tables:"},
    {1166,
     "Dieses Tool kann dazu verwendet werden, um einfache SQL - Statements zu "
     "erzeugen. Bitte verwenden Sie die Pfeiltasten, um Spalten von den Spalten der "
     "Tafel in die 'Anzuzeigen Spalten', 'Sortiert nach', oder bei den "
     "'Filterausdruck' Clauses einzutragen. Sie können die 'Auf' und 'Ab' - Tasten "
     "verwenden, um die einzelnen Positionen innerhalb der gegebenen Liste zu "
     "verschieben.",
     "This tool can be used to build basic SQL statements. Use the arrow buttons to "
     "insert columns from the 'Table Columns' list to the 'Columns To Display' list, "
     "'Sorted By' list, or the 'Filter Expression' clause. You can use the 'Up' and "
     "'Down' buttons to order the items within a given list.",
     "Cet outil peut être utilisé pour créer des requètes SQL simples. Utiliser les "
     "boutons fléches pour insérer des colonnes depuis la liste 'Colonnes de Tableau' "
     "vers la liste 'Colonnes à afficher', la liste 'Triée par', ou la clause 'Filtre "
     "d'expression'. Vous pouvez utiliser  les boutons 'haut/bas' pour ordonner les "
     "articles dans une liste donnée."},
    {1167, "Anzuzeigen Spalten:", "Columns To Display:", "Colonnes à afficher:"},
    {1168, "Spalten der Tafel:", "Table Columns:", "Colonnes de Tableau:"},
    {1169, "Sortiert nach:", "Sorted By:", "Triée par:"},
    {1170, "Filterausdruck:", "Filter Expression:", "Filtre d'expression:"},
    {1171, "Einfügen", "Insert", "Insérez"},
    {1172, "Anzeige Status-Stab", "Display Status Bar", "Barre De Statut D'Affichage"},
    {1300, "Der geänderte Wert ist keine gültige Zahl", "Updated value is not a valid number",
     "La valeur modifiée n'est pas un nombre valide"},
    {1301, "Der geänderte Wert muss eine ganze Zahl sein", "Updated value must be a whole number",
     "La valeur modifiée doit être un nombre entier"},
    {1302, "Der geänderte Wert liegt außerhalb des zulässigen Bereichs der Spalte",
     "Updated value is out of range for this column",
     "La valeur modifiée est hors des limites de cette colonne"},
    {1303, "Der geänderte Wert muss True oder False sein", "Updated value must be True or False",
     "La valeur modifiée doit être True ou False"},
    {1304, "Der geänderte Wert ist kein gültiges Datum und keine gültige Uhrzeit",
     "Updated value is not a valid date or time",
     "La valeur modifiée n'est pas une date ou une heure valide"},
    {1305, "Werte dieser Spalte können hier nicht geändert werden",
     "Values of this column cannot be changed here",
     "Les valeurs de cette colonne ne peuvent pas être modifiées ici"},
};

}  // namespace

std::span<const StringTableEntry> BuiltInStrings() {
  return kTable;
}

int32_t TableLanguage(int32_t ui_language) {
  switch (ui_language) {
    case kLanguageGerman:
    case kLanguageFrench:
      return ui_language;
    default:
      return kLanguageEnglish;
  }
}

std::string_view BuiltInString(int32_t id, int32_t language) {
  auto it = std::lower_bound(std::begin(kTable), std::end(kTable), id,
                             [](const StringTableEntry& e, int32_t v) { return e.id < v; });
  if (it == std::end(kTable) || it->id != id) return {};
  switch (TableLanguage(language)) {
    case kLanguageGerman:
      return it->german;
    case kLanguageFrench:
      return it->french;
    default:
      return it->english;
  }
}

std::string ListStringTable() {
  std::string out = "Id\t1031\t1033\t1036\n";
  for (const StringTableEntry& e : kTable) {
    out += std::to_string(e.id);
    for (std::string_view text : {e.german, e.english, e.french}) {
      out += '\t';
      out += text;
    }
    out += '\n';
  }
  return out;
}

}  // namespace tabulo::localization
