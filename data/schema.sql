-- SPDX-License-Identifier: MIT
-- The four tables of a Loomwise rule database. Keys and names compare
-- without regard to letter case. RowKey is a hidden counter that keeps the
-- stored (insertion) order and lets the grids address a row even when two
-- rows hold the same values; it is never shown and never read as a rule.
CREATE TABLE FileTypes (
  RowKey INTEGER PRIMARY KEY AUTOINCREMENT,
  Identifier TEXT COLLATE NOCASE,
  Description TEXT,
  "Title Line" INTEGER,
  "End of Line" TEXT,
  BeginSection TEXT,
  EndSection TEXT,
  GroupID TEXT COLLATE NOCASE
);
CREATE TABLE Groups (
  RowKey INTEGER PRIMARY KEY AUTOINCREMENT,
  GroupID TEXT COLLATE NOCASE,
  Header TEXT,
  Footer TEXT
);
CREATE TABLE Constraints (
  RowKey INTEGER PRIMARY KEY AUTOINCREMENT,
  FileType TEXT,
  Type INTEGER,
  "Search String" TEXT,
  "Replace String" TEXT,
  RFirst TEXT,
  RLast TEXT,
  CaseSensitive INTEGER
);
CREATE TABLE GlobalDefs (
  ID TEXT COLLATE NOCASE PRIMARY KEY,
  Content TEXT
);
