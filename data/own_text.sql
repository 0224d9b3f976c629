-- The file type and group of a new database for text of this platform: every
-- file without a type of its own is of the type GEN, whose pages show the
-- text as it was laid out, its first line in bold as the title; the index
-- page lists them under a heading of its own.
INSERT INTO Groups (GroupID, Header, Footer) VALUES
  ('GEN', '<TITLE>Index</TITLE><H1>Index</H1>', '');

INSERT INTO FileTypes (Identifier, Description, "Title Line", "End of Line", BeginSection, EndSection, GroupID) VALUES
  ('GEN', 'Every file without a type of its own', 1, '', '<PRE>', '</PRE>', 'GEN');
