// Replaced as the record manager lands.
