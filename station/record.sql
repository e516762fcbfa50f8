-- The operation record of one day: time of day, login level, event text.
CREATE TABLE RECORD(recordtime TEXT, recordpassword TEXT, remarks TEXT);
