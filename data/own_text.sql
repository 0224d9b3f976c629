-- SPDX-License-Identifier: MIT
-- The file type and group of a new database for text of this platform: every
-- file without a type of its own is of the type GEN, whose pages show the
-- text as it was laid out, its first line in bold as the title; the index
-- page lists them under a heading of its own.
INSERT INTO Groups (GroupID, Header, Footer) VALUES
  ('GEN', '<TITLE>Index</TITLE><H1>Index</H1>', '');

INSERT INTO FileTypes (Identifier, Description, "Title Line", "End of Line", BeginSection, EndSection, GroupID) VALUES
  ('GEN', 'Every file without a type of its own', 1, '', '<PRE>', '</PRE>', 'GEN');

-- Links: addresses that begin with a scheme or "www." and e-mail addresses.
-- As readers expect of autolinks, punctuation after an address (. , : ; ! ? *
-- _ ~ and quotes) is not part of it, and a closing parenthesis only when it
-- closes one opened inside the address; brackets around an address
-- (<https://...>, Name <user@host>) stay outside the link.
INSERT INTO Constraints (FileType, Type, "Search String", "Replace String", RFirst, RLast, CaseSensitive) VALUES
  ('GEN', 5, '\b(?:https?|ftp)://(?:[^\s<>()"'']|\([^\s<>()"'']*\))*(?:[^\s<>()"''.,:;!?*_~]|\([^\s<>()"'']*\))', '<A HREF="\0">\0</A>', ' ', ' ', 0),
  ('GEN', 5, '(^|[\s(<"''])(www\.(?:[^\s<>()"'']|\([^\s<>()"'']*\))*(?:[^\s<>()"''.,:;!?*_~]|\([^\s<>()"'']*\)))', '\1<A HREF="http://\2">\2</A>', ' ', ' ', 0),
  ('GEN', 5, '(^|[\s(<"'',;\[]|mailto:)([A-Za-z0-9._%+-]+@[A-Za-z0-9-]+(?:\.[A-Za-z0-9-]+)+)', '\1<A HREF="mailto:\2">\2</A>', ' ', ' ', 0);
