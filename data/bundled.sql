-- SPDX-License-Identifier: MIT
-- The rules of the bundled examples: three file types in two groups, and
-- constraints of all four kinds. Stored order matters: rows apply to each
-- line in this order.
UPDATE GlobalDefs SET Content = '<HTML><HEAD><META http-equiv="Content-Type" content="text/html; charset=windows-1252"><STYLE>body{font-family:Georgia,serif;max-width:42em;margin:2em auto;padding:0 1em;line-height:1.5;color:#222}h1,h2{color:#145}li{margin:.2em 0}</STYLE></HEAD><BODY><H1>Harbour Town Notes</H1>' WHERE ID = 'Header';
UPDATE GlobalDefs SET Content = '<HR><P><SMALL>Made with Loomwise from plain text files.</SMALL></P></BODY></HTML>' WHERE ID = 'Footer';

INSERT INTO Groups (GroupID, Header, Footer) VALUES
  ('ART', '<H2>Articles and guides</H2>', '<P></P>'),
  ('NWS', '<H2>News</H2>', '');

INSERT INTO FileTypes (Identifier, Description, "Title Line", "End of Line", BeginSection, EndSection, GroupID) VALUES
  ('TXT', 'Articles', 1, '<P>', '<DIV class="article">', '</DIV><P><A HREF="index.html">All pages</A></P>', 'ART'),
  ('FAQ', 'Questions and answers', 1, '<P>', '<DIV class="faq">', '</DIV><P><A HREF="index.html">All pages</A></P>', 'ART'),
  ('NWS', 'News bulletins; line 1 is the date', 2, '<BR>', '<DIV class="news">', '</DIV><P><A HREF="index.html">All pages</A></P>', 'NWS');

INSERT INTO Constraints (FileType, Type, "Search String", "Replace String", RFirst, RLast, CaseSensitive) VALUES
  ('GEN', 1, '--', '&mdash;', ' ', ' ', 1),
  ('GEN', 1, '(c)', '&copy;', ' ', ' ', 0),
  ('GEN', 2, '[note:', ']', ' ', ' ', 0),
  ('GEN', 1, '""', '"', ' ', ' ', 1),
  ('TXT', 3, '*', '*', '<B>', '</B>', 1),
  ('GEN', 3, '_', '_', '<I>', '</I>', 1),
  ('TXT', 4, 'Contents', '<H2>Contents</H2>', ' ', ' ', 0),
  ('NWS', 2, '##', '(EOL)', ' ', ' ', 1),
  ('NWS', 3, '=> ', '(EOL)', '<LI>', '</LI>', 1),
  ('NWS', 4, 'BREAKING', '<H2 style="color:#b00">Breaking news</H2>', ' ', ' ', 0),
  ('FAQ', 1, 'Q:', '<B>Question:</B>', ' ', ' ', 1),
  ('FAQ', 1, 'A:', '<B>Answer:</B>', ' ', ' ', 1);
