-- SPDX-License-Identifier: MIT
-- The four settings every rule database needs, with the values the Setup
-- window shows before it loads.
INSERT INTO GlobalDefs (ID, Content) VALUES ('EndofLine', '<P>');
INSERT INTO GlobalDefs (ID, Content) VALUES ('Header', '<HTML><BODY>');
INSERT INTO GlobalDefs (ID, Content) VALUES ('Footer', '</BODY></HTML>');
INSERT INTO GlobalDefs (ID, Content) VALUES ('IndexPageName', 'index.html');
